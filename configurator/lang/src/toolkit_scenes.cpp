#include "lang/toolkit_scenes.h"

#include <map>

#include "toolkit/scene.h"

namespace vrnke {

int ConnectToolkitScenes(tk::TTranslationService& service) {
  static std::map<tk::TTranslationService*, int> connected;
  auto it = connected.find(&service);
  if (it != connected.end()) return it->second;
  const int handle = service.AddScene([] { tk::RetranslateAllScenes(); });
  connected.emplace(&service, handle);
  return handle;
}

}  // namespace vrnke
