// langc: compiles the readable language source into the binary language file, or shows a
// binary language file in the readable form.
//   langc <source.txt> <out.local>
//   langc --dump <file.local>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "lang/lang_file.h"
#include "lang_source.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--dump") {
      std::cout << langc::FormatLanguageSource(vrnke::ReadLanguageFile(argv[2]));
      return 0;
    }
    if (argc != 3) {
      std::cerr << "usage: langc <source.txt> <out.local>\n       langc --dump <file.local>\n";
      return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
      std::cerr << "langc: cannot open " << argv[1] << "\n";
      return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    const vrnke::TLanguageData data = langc::ParseLanguageSource(text.str(), argv[1]);
    vrnke::WriteLanguageFile(argv[2], data, *plat::CreateSystemShell());
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "langc: " << e.what() << "\n";
    return 1;
  }
}
