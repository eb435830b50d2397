#include "platform/platform.h"

namespace plat {
namespace {

class RegistryOverlay : public Platform {
 public:
  RegistryOverlay(Platform& base, Registry& reg) : base_(base), reg_(reg) {}
  Registry& registry() override { return reg_; }
  Mutexes& mutexes() override { return base_.mutexes(); }
  Windows& windows() override { return base_.windows(); }
  Shell& shell() override { return base_.shell(); }
  Locale& locale() override { return base_.locale(); }
  Libraries& libraries() override { return base_.libraries(); }
  Keyboard& keyboard() override { return base_.keyboard(); }
  Events& events() override { return base_.events(); }

 private:
  Platform& base_;
  Registry& reg_;
};

}  // namespace

std::unique_ptr<Platform> WithRegistry(Platform& base, Registry& reg) {
  return std::make_unique<RegistryOverlay>(base, reg);
}

}  // namespace plat
