// vrnkereg: shows, exports and imports the settings store.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/system.h"
#include "regfile/encoding.h"
#include "regfile/regfile.h"
#include "runtime/crc32.h"

namespace {

const char* kUsage =
    "usage: vrnkereg [--store STORE] list [KEY]\n"
    "       vrnkereg [--store STORE] export [KEY] [-o FILE] [--utf8]\n"
    "       vrnkereg [--store STORE] import FILE|-\n"
    "KEY is like HKEY_CURRENT_USER\\software\\VRNKEDriver (HKCU and HKLM work too);\n"
    "without KEY the whole store is used. Export writes UTF-16LE with a byte-order mark, as the\n"
    "system's registry editor does, or UTF-8 with --utf8; import reads both.\n"
#ifdef _WIN32
    "The store is the system's registry; --store KEY moves both roots below HKEY_CURRENT_USER\\KEY.\n";
#else
    "The store defaults to $XDG_CONFIG_HOME/vrnke/registry; --store DIR names another folder.\n";
#endif

// A UTF-8 path as the file system takes it (on Windows a narrow name would be the ANSI page).
std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

const char* TypeName(plat::RegType t) {
  switch (t) {
    case plat::RegType::None:
      return "REG_NONE";
    case plat::RegType::Sz:
      return "REG_SZ";
    case plat::RegType::ExpandSz:
      return "REG_EXPAND_SZ";
    case plat::RegType::Binary:
      return "REG_BINARY";
    case plat::RegType::Dword:
      return "REG_DWORD";
    case plat::RegType::MultiSz:
      return "REG_MULTI_SZ";
    case plat::RegType::Qword:
      return "REG_QWORD";
    default:
      return "REG_OTHER";
  }
}

regfile::Document Select(plat::Registry& reg, const std::string& key, std::vector<std::string>& damaged) {
  if (key.empty()) return regfile::ExportAll(reg, &damaged);
  plat::RegKey root;
  std::string path;
  if (!regfile::SplitKeyName(key, root, path)) throw std::runtime_error("unknown root in '" + key + "'");
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return regfile::Export(reg, root, path, &damaged);
}

// Damaged keys do not stop a listing or an export; they are told at the end and fail the run.
int TellDamaged(const std::vector<std::string>& damaged) {
  for (const auto& d : damaged) std::cerr << "vrnkereg: " << d << "\n";
  return damaged.empty() ? 0 : 1;
}

void List(const regfile::Document& doc) {
  for (const auto& k : doc.keys) {
    std::cout << regfile::RootName(k.root) << (k.path.empty() ? "" : "\\") << k.path << "\n";
    for (const auto& v : k.values) {
      char line[64];
      std::snprintf(line, sizeof line, "%u bytes  crc32 %08x", static_cast<unsigned>(v.data.size()),
                    rt::Crc32(v.data));
      std::cout << "  " << (v.name.empty() ? "@" : v.name) << "  " << TypeName(v.type) << "  " << line;
      if (v.type == plat::RegType::Sz || v.type == plat::RegType::ExpandSz)
        std::cout << "  \"" << plat::RegStringFromBytes(v.data.data(), v.data.size()) << "\"";
      if (v.type == plat::RegType::Dword && v.data.size() == 4)
        std::cout << "  "
                  << (v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                      (static_cast<unsigned>(v.data[3]) << 24));
      std::cout << "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The texts carry their own line ends and may be UTF-16: no translation on the way.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string store;
  if (args.size() >= 2 && args[0] == "--store") {
    store = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "-h" || args[0] == "--help") {
    std::cerr << kUsage;
    return args.empty() ? 2 : 0;
  }
  try {
    auto reg = plat::CreateSystemRegistry(store);
    const std::string& cmd = args[0];
    std::vector<std::string> damaged;
    if (cmd == "list" && args.size() <= 2) {
      List(Select(*reg, args.size() == 2 ? args[1] : "", damaged));
      return std::max(TellDamaged(damaged), std::cout.good() ? 0 : 1);
    }
    if (cmd == "export") {
      std::string key, out;
      regfile::TextEncoding encoding = regfile::TextEncoding::Utf16;
      for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--utf8") {
          encoding = regfile::TextEncoding::Utf8;
        } else if (args[i] == "-o" && i + 1 < args.size()) {
          out = args[++i];
        } else if (key.empty()) {
          key = args[i];
        } else {
          std::cerr << kUsage;
          return 2;
        }
      }
      std::string text = regfile::EncodeText(regfile::Write(Select(*reg, key, damaged)), encoding);
      if (out.empty() || out == "-") {
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        return std::max(TellDamaged(damaged), std::cout.flush().good() ? 0 : 1);
      }
      // Written aside and renamed, so a failed export never leaves half a file.
      std::string tmp = out + ".tmp";
      {
        std::ofstream f(FsPath(tmp), std::ios::binary);
        f.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!f.flush()) throw std::runtime_error("cannot write " + tmp);
      }
      std::error_code ec;
      std::filesystem::rename(FsPath(tmp), FsPath(out), ec);
      if (ec) {
        std::filesystem::remove(FsPath(tmp), ec);
        throw std::runtime_error("cannot write " + out);
      }
      return TellDamaged(damaged);
    }
    if (cmd == "import" && args.size() == 2) {
      std::stringstream ss;
      if (args[1] == "-") {
        ss << std::cin.rdbuf();
      } else {
        std::ifstream f(FsPath(args[1]), std::ios::binary);
        if (!f) throw std::runtime_error("cannot open " + args[1]);
        ss << f.rdbuf();
      }
      regfile::Document doc;
      try {
        doc = regfile::Parse(ss.str());
      } catch (const regfile::ParseError& e) {
        std::cerr << "vrnkereg: " << (args[1] == "-" ? "<stdin>" : args[1]) << ":" << e.line() << ": "
                  << e.detail() << "\n";
        return 1;
      }
      regfile::Import(*reg, doc);
      return 0;
    }
    std::cerr << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "vrnkereg: " << e.what() << "\n";
    return 1;
  }
}
