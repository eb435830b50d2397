#include "inspector/regfile.h"

#include <string_view>

#include "regfile/regfile.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace inspector {
namespace {

// Key paths compare level by level without regard to case; a trailing "\" is no level.
std::string Canonical(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return rt::LowerCase(path);
}

}  // namespace

std::optional<RegFileValue> FindRegFileValue(const std::vector<uint8_t>& fileBytes,
                                             const std::string& keyPath, const std::string& valueName,
                                             const std::string& file) {
  plat::RegKey wantedRoot = plat::kNoKey;
  std::string wantedPath;
  if (!regfile::SplitKeyName(keyPath, wantedRoot, wantedPath))
    throw rt::Exception("Not a registry key name: " + keyPath);
  wantedPath = Canonical(wantedPath);

  regfile::Document doc;
  try {
    doc = regfile::Parse(std::string_view(reinterpret_cast<const char*>(fileBytes.data()), fileBytes.size()));
  } catch (const regfile::ParseError& e) {
    throw rt::Exception(rt::Format("%s:%d: %s", file.c_str(), e.line(), e.detail().c_str()));
  }

  // Applied in file order, as an import would: the last word on the value wins.
  std::optional<RegFileValue> found;
  for (const regfile::Key& key : doc.keys) {
    if (key.root != wantedRoot) continue;
    const std::string path = Canonical(key.path);
    // Deleting the key or one of its parents deletes the value.
    if (key.remove && (path == wantedPath || wantedPath.rfind(path + "\\", 0) == 0 || path.empty())) {
      found.reset();
      continue;
    }
    if (path != wantedPath) continue;
    for (const regfile::Value& v : key.values) {
      if (!rt::SameText(v.name, valueName)) continue;
      if (v.remove)
        found.reset();
      else
        found = RegFileValue{v.type, v.data};
    }
  }
  return found;
}

}  // namespace inspector
