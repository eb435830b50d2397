// How a published value reads and writes as text, chosen by its type: bool ("True"/"False"),
// integers (decimal or "$"/"0x" hex, range checked), float and double (locale-independent),
// strings, and enums that give a name table. Bad text raises EConvertError or ERangeError.
#pragma once

#include <concepts>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace rt {

std::string BoolToStr(bool value);
bool StrToBool(std::string_view text);  // "True"/"False" without regard to case or spaces around
std::string FloatToStr(double value);   // the shortest text that reads back as the same float
float StrToFloat(std::string_view text);

// One name of an enum value; a table may list several names for a value (aliases read on
// input), the first is the one written.
template <class E>
struct TEnumName {
  E value;
  const char* name;
};

// An enum takes part by functions found next to it (by argument-dependent lookup):
// `EnumNames(E)` returning a static array of TEnumName<E>, and optionally
// `EnumDescription(E)` for the error text "'x' is not <description>" ("a text alignment").
template <class E>
concept NamedEnum = std::is_enum_v<E> && requires(E e) {
  EnumNames(e);
};

[[noreturn]] void ThrowBadEnumText(std::string_view text, const char* description);

template <class T>
struct TPropertyText;

template <>
struct TPropertyText<bool> {
  static std::string ToText(bool v) { return BoolToStr(v); }
  static bool FromText(const std::string& t) { return StrToBool(t); }
};

template <>
struct TPropertyText<std::string> {
  static std::string ToText(const std::string& v) { return v; }
  static std::string FromText(const std::string& t) { return t; }
};

template <std::integral T>
requires(!std::same_as<T, bool>) struct TPropertyText<T> {
  static std::string ToText(T v) { return IntToStr(static_cast<long long>(v)); }
  static T FromText(const std::string& t) {
    const long long n = StrToInt(t);
    if constexpr (std::is_unsigned_v<T>) {
      if (n < 0 || static_cast<unsigned long long>(n) > std::numeric_limits<T>::max()) throw ERangeError();
    } else {
      if (n < std::numeric_limits<T>::min() || n > std::numeric_limits<T>::max()) throw ERangeError();
    }
    return static_cast<T>(n);
  }
};

template <std::floating_point T>
struct TPropertyText<T> {
  static std::string ToText(T v) { return FloatToStr(v); }
  static T FromText(const std::string& t) { return static_cast<T>(StrToFloat(t)); }
};

template <NamedEnum E>
struct TPropertyText<E> {
  static std::string ToText(E v) {
    for (const auto& n : EnumNames(v))
      if (n.value == v) return n.name;
    return IntToStr(static_cast<long long>(v));
  }
  static E FromText(const std::string& t) {
    for (const auto& n : EnumNames(E{}))
      if (SameText(t, n.name)) return n.value;
    if constexpr (requires { EnumDescription(E{}); })
      ThrowBadEnumText(t, EnumDescription(E{}));
    else
      ThrowBadEnumText(t, "a valid value");
  }
};

}  // namespace rt
