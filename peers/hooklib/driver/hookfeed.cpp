// vrnkehookfeed: runs the hook engine over the scripted hook library and feeds it key events
// from a script, printing what the engine reports. For trying the recorders without a display.
//
//   vrnkehookfeed single|combo|macro [script]      (script from standard input when absent)
//
// Script lines: "down|up <virtual key> <time ms> [ext]"; keys in hex (0x41) or decimal; "#"
// starts a comment.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "capture/qvHook.h"
#include "testing/platform/redirected_libraries.h"
#include "testing/platform/temp_dir.h"

namespace {

using FeedKey = int32_t (*)(int32_t, uint32_t, uint32_t, uint32_t, uint32_t);

int Usage() {
  std::cerr << "usage: vrnkehookfeed single|combo|macro [script]\n"
               "script lines: down|up <virtual key> <time ms> [ext]\n";
  return 2;
}

std::string Hex(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%02X", v);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return Usage();
  const std::string mode = argv[1];
  if (mode != "single" && mode != "combo" && mode != "macro") return Usage();
  std::ifstream file;
  if (argc == 3) {
    file.open(argv[2]);
    if (!file) {
      std::cerr << "vrnkehookfeed: cannot read " << argv[2] << "\n";
      return 1;
    }
  }
  std::istream& in = argc == 3 ? static_cast<std::istream&>(file) : std::cin;

  plat::testing::IsolatedEnv env;  // its own registry and runtime folders
  plat::testing::PlatformWithLibrary platform(vrnke::kHookLibraryName, "qvHookScripted.dll");
  plat::LibraryHandle lib = platform.libraries().LoadLibrary("qvHookScripted.dll");
  auto feed = reinterpret_cast<FeedKey>(platform.libraries().GetProcAddress(lib, "ScriptedHookKey"));
  if (!feed) {
    std::cerr << "vrnkehookfeed: qvHookScripted.so is not beside the program\n";
    return 1;
  }
  int status = 0;
  {
    vrnke::TqvHook hook(nullptr, platform);
    std::string report;
    hook.FOnRecordKeyboardSingleKey = [&](rt::TComponent*, int32_t key, uint32_t, int32_t state, int32_t ext,
                                          const std::string& text, bool&) {
      report +=
          "; key " + Hex(key) + "/" + std::to_string(ext) + (state ? " down" : " up") + " \"" + text + "\"";
    };
    hook.FOnRecordKeyboardComboKey = [&](rt::TComponent*, int32_t k1, int32_t e1, int32_t k2, int32_t e2,
                                         int32_t mod, const std::string& text) {
      report += "; combination " + Hex(k1) + "/" + std::to_string(e1) + " " + Hex(k2) + "/" +
                std::to_string(e2) + " modifier " + std::to_string(mod) + " \"" + text + "\"";
    };
    hook.FOnRecordKeyboardMacroKey = [&](rt::TComponent*, int32_t type, int32_t, int32_t, int32_t, double,
                                         const std::string& text, const std::string& stateText,
                                         const vrnke::TMacroKeyList&) {
      report += std::string("; ") + (type ? "key " : "delay ") + text + " " + stateText;
    };
    if (mode == "single") hook.RecordKeyboardSingleKey();
    if (mode == "combo") hook.RecordKeyboardComboKey();
    if (mode == "macro") hook.RecordKeyboardMacroKey();

    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      line = line.substr(0, line.find('#'));
      std::istringstream words(line);
      std::string verb, key, flag;
      long long time = -1;
      if (!(words >> verb)) continue;
      words >> key >> time >> flag;
      uint32_t vk = 0;
      try {
        size_t used = 0;
        vk = static_cast<uint32_t>(std::stoul(key, &used, 0));
        if (used != key.size() || vk > 255) throw std::out_of_range(key);
      } catch (const std::exception&) {
        vk = 256;
      }
      if ((verb != "down" && verb != "up") || vk > 255 || time < 0 || time > 0xFFFFFFFFLL ||
          (!flag.empty() && flag != "ext")) {
        std::cerr << "line " << number << ": expected \"down|up <key 0..255> <time ms> [ext]\": " << line
                  << "\n";
        status = 1;
        continue;
      }
      const uint32_t flags =
          (verb == "up" ? vrnke::LLKHF_UP : 0u) | (flag == "ext" ? vrnke::LLKHF_EXTENDED : 0u);
      report.clear();
      const int32_t blocked = feed(0, vk, 0, flags, static_cast<uint32_t>(time));
      std::cout << verb << " " << Hex(static_cast<int>(vk)) << (flag.empty() ? "" : " ext") << " t=" << time
                << " -> " << (blocked == 1 ? "blocked" : "passed") << report << "\n";
    }
    hook.StopRecordKeyboardSingleKey();
  }
  platform.libraries().FreeLibrary(lib);
  return status;
}
