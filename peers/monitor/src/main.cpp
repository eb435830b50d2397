// Monitor stand-in: plays the outside monitor program for tests and demos. It owns a window of
// the monitor's class, and on every reload message reads both stored settings values and writes
// one line saying what it found.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "keys/suite_names.h"
#include "platform/system.h"
#include "runtime/crc32.h"

namespace {

const char* kUsage =
    "usage: VRNKEMon [options]\n"
    "  --output FILE             append the report lines to FILE (default: standard output)\n"
#ifdef _WIN32
    "  --store KEY               read the settings below HKEY_CURRENT_USER\\KEY (default: the registry's own "
    "roots)\n"
#else
    "  --store DIR               settings store folder (default: $XDG_CONFIG_HOME/vrnke/registry)\n"
#endif
    "  --close-cfg               post WM_CLOSESETTING to the configuration program once started\n"
    "  --close-cfg-after-reload  post WM_CLOSESETTING after each reload message\n"
    "  --hang                    never return from the reload handler\n"
    "  --hang-ms N               stay N milliseconds in the reload handler\n"
    "  --exit-after N            end after N reload messages\n"
    "A second copy ends at once while a monitor window exists. The variable VRNKEMON_OPTIONS\n"
    "holds options taken before the command line's (a program that starts the monitor passes none).\n";

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

// " NAME size=N crc32=XXXXXXXX", or " NAME missing", with the type when it is not binary.
std::string Describe(plat::Registry& reg, plat::RegKey key, std::string_view name) {
  std::string out = " " + std::string(name);
  plat::RegType type;
  std::vector<std::uint8_t> data;
  plat::RegResult r =
      key == plat::kNoKey ? plat::RegResult::FileNotFound : reg.ReadValue(key, name, type, data);
  if (r == plat::RegResult::FileNotFound) return out + " missing";
  if (r != plat::RegResult::Success) return out + " error=" + std::to_string(static_cast<int>(r));
  char buf[64];
  std::snprintf(buf, sizeof buf, " size=%zu crc32=%08x", data.size(), rt::Crc32(data));
  out += buf;
  if (type != plat::RegType::Binary) out += " type=" + std::to_string(static_cast<unsigned>(type));
  return out;
}

}  // namespace

int main(int argc0, char** argv0) {
  std::vector<std::string> args(argv0, argv0 + argc0);
  if (const char* env = std::getenv("VRNKEMON_OPTIONS")) {
    std::istringstream words(env);
    std::vector<std::string> extra;
    for (std::string w; words >> w;) extra.push_back(w);
    args.insert(args.begin() + 1, extra.begin(), extra.end());
  }
  std::vector<char*> argvList;
  for (std::string& a : args) argvList.push_back(a.data());
  const int argc = static_cast<int>(argvList.size());
  char** argv = argvList.data();
  std::string output, store;
  bool closeAtStart = false, closeAfterReload = false, hang = false;
  long hangMs = 0, exitAfter = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "VRNKEMon: " << a << " needs a value\n" << kUsage;
        std::exit(2);
      }
      return argv[++i];
    };
    auto number = [&]() -> long {
      std::string v = next();
      char* end = nullptr;
      long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || n < 0) {
        std::cerr << "VRNKEMon: " << a << " needs a non-negative number, not '" << v << "'\n";
        std::exit(2);
      }
      return n;
    };
    if (a == "--output")
      output = next();
    else if (a == "--store")
      store = next();
    else if (a == "--close-cfg")
      closeAtStart = true;
    else if (a == "--close-cfg-after-reload")
      closeAfterReload = true;
    else if (a == "--hang")
      hang = true;
    else if (a == "--hang-ms")
      hangMs = number();
    else if (a == "--exit-after")
      exitAfter = number();
    else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    } else {
      std::cerr << "VRNKEMon: unknown option " << a << "\n" << kUsage;
      return 2;
    }
  }

  std::ofstream file;
  if (!output.empty()) {
    file.open(output, std::ios::app);
    if (!file) {
      std::cerr << "VRNKEMon: cannot open " << output << "\n";
      return 1;
    }
  }
  std::ostream& out = output.empty() ? std::cout : file;

  signal(SIGTERM, OnSignal);
  signal(SIGINT, OnSignal);
  auto platform = plat::CreateSystemPlatform(store);
  plat::Windows& windows = platform->windows();
  if (windows.FindWindow(vrnke::kMonitorWindowClass)) return 0;  // one monitor is enough

  long reloads = 0;
  bool quit = false;
  auto closeCfg = [&] {
    if (plat::WindowHandle cfg = windows.FindWindow(vrnke::kCfgWindowClass))
      windows.PostMessage(cfg, vrnke::WM_CLOSESETTING, 0, 0);
  };
  plat::WindowHandle self = windows.RegisterWindow(
      vrnke::kMonitorWindowClass, [&](std::uint32_t msg, plat::WParam, plat::LParam) -> plat::LResult {
        if (msg == plat::kWmClose) {
          quit = true;
          return 0;
        }
        if (msg != vrnke::WM_RELOADSETTINGS) return 0;
        plat::Registry& reg = platform->registry();
        plat::RegKey key = plat::kNoKey;
        if (reg.OpenKey(plat::kHkeyCurrentUser, vrnke::kRegistryKeyPath, key) != plat::RegResult::Success)
          key = plat::kNoKey;
        std::string line = "WM_RELOADSETTINGS #" + std::to_string(++reloads) +
                           Describe(reg, key, vrnke::kCurrentProfileValue) +
                           Describe(reg, key, vrnke::kAllProfilesValue);
        if (key != plat::kNoKey) reg.CloseKey(key);
        out << line << std::endl;  // flushed before the sender's call returns
        if (hang) {
          while (!gStop) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } else if (hangMs > 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(hangMs));
        }
        if (closeAfterReload) closeCfg();
        if (exitAfter > 0 && reloads >= exitAfter) quit = true;
        return 1;
      });
  if (!self) {
    std::cerr << "VRNKEMon: cannot create the monitor window\n";
    return 1;
  }
  if (closeAtStart) closeCfg();
  while (!quit && !gStop) windows.WaitAndProcessMessages(200);
  windows.DestroyWindow(self);
  return 0;
}
