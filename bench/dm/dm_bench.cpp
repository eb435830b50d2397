// LoadProfiles when both values are already stored (every start but the first).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/memory_registry.h"
#include "platform/platform.h"
#include "platform/posix.h"
#include "profile/DMUnit.h"

namespace {

class NoShell : public plat::Shell {
 public:
  bool ShellOpen(std::string_view, std::string_view) override { return false; }
  std::string ExecutableFolder() override { return {}; }
  bool DirectoryExists(std::string_view) override { return false; }
  bool FileExists(std::string_view) override { return false; }
  bool CreateDirectory(std::string_view) override { return false; }
  std::string NativePath(std::string_view p) override { return std::string(p); }
};

class EnglishLocale : public plat::Locale {
 public:
  std::vector<std::string> EnumSystemLocales() override { return {"00000409"}; }
  std::string GetLocaleInfo(plat::LCID, plat::LocaleField) override { return {}; }
  plat::LangID GetSystemDefaultLangID() override { return 0x0409; }
  plat::LCID GetUserDefaultLCID() override { return 0x0409; }
};

void Run(benchmark::State& state, plat::Registry& registry) {
  NoShell shell;
  EnglishLocale locale;
  {
    vrnke::TDM first(nullptr, registry, shell, locale);
    first.DataModuleCreate();  // stores both values
  }
  auto dm = std::make_unique<vrnke::TDM>(nullptr, registry, shell, locale);
  for (auto _ : state) {
    dm->LoadProfiles();
    benchmark::DoNotOptimize(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount.get());
  }
}

void BM_LoadProfiles_MemoryRegistry(benchmark::State& state) {
  plat::MemoryRegistry registry;
  Run(state, registry);
}
BENCHMARK(BM_LoadProfiles_MemoryRegistry)->Unit(benchmark::kMicrosecond);

void BM_LoadProfiles_FileRegistry(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / ("vrnke-dm-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  {
    auto registry = plat::CreatePosixRegistry(folder.string());
    Run(state, *registry);
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadProfiles_FileRegistry)->Unit(benchmark::kMicrosecond);

// The whole start of the data module: construction plus the creation handler.
void BM_CreateAndLoad_MemoryRegistry(benchmark::State& state) {
  plat::MemoryRegistry registry;
  NoShell shell;
  EnglishLocale locale;
  vrnke::TDM(nullptr, registry, shell, locale).DataModuleCreate();
  for (auto _ : state) {
    auto dm = std::make_unique<vrnke::TDM>(nullptr, registry, shell, locale);
    dm->DataModuleCreate();
    benchmark::DoNotOptimize(dm.get());
  }
}
BENCHMARK(BM_CreateAndLoad_MemoryRegistry)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
