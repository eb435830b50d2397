#include "toolkit/translate.h"

#include <utility>

namespace tk {

namespace {
TranslateFunction& Current() {
  static TranslateFunction fn;
  return fn;
}
}  // namespace

TranslateFunction SetTranslateFunction(TranslateFunction fn) {
  return std::exchange(Current(), std::move(fn));
}

const TranslateFunction& GetTranslateFunction() { return Current(); }

std::string Translate(const std::string& text) {
  const TranslateFunction& fn = Current();
  return fn ? fn(text) : text;
}

}  // namespace tk
