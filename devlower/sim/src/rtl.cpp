// Run-time library services: counted strings, memory comparison, debug output, bug checks.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "io_internal.h"

namespace vrnke_sim::detail {

std::string Fmt(const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

}  // namespace vrnke_sim::detail

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

VOID RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
  if (!SourceString) {
    DestinationString->Length = DestinationString->MaximumLength = 0;
    DestinationString->Buffer = nullptr;
    return;
  }
  size_t n = wcslen(SourceString) * sizeof(WCHAR);
  DestinationString->Length = (USHORT)n;
  DestinationString->MaximumLength = (USHORT)(n + sizeof(WCHAR));
  DestinationString->Buffer = const_cast<PWCH>(SourceString);
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive) {
  std::wstring a = UnicodeText(String1), b = UnicodeText(String2);
  if (CaseInSensitive) return Lower(a) == Lower(b);
  return a == b;
}

VOID RtlCopyUnicodeString(PUNICODE_STRING DestinationString, PCUNICODE_STRING SourceString) {
  if (!SourceString) {
    DestinationString->Length = 0;
    return;
  }
  USHORT n = std::min(SourceString->Length, DestinationString->MaximumLength);
  memcpy(DestinationString->Buffer, SourceString->Buffer, n);
  DestinationString->Length = n;
  if (n + sizeof(WCHAR) <= DestinationString->MaximumLength) DestinationString->Buffer[n / sizeof(WCHAR)] = 0;
}

SIZE_T RtlCompareMemory(const VOID* Source1, const VOID* Source2, SIZE_T Length) {
  auto* a = static_cast<const unsigned char*>(Source1);
  auto* b = static_cast<const unsigned char*>(Source2);
  SIZE_T i = 0;
  while (i < Length && a[i] == b[i]) ++i;
  return i;
}

BOOLEAN RtlIsNtDdiVersionAvailable(ULONG Version) { return (BOOLEAN)(Version <= 0x06010000); }

static bool PrintDebug() {
  static const bool on = std::getenv("VRNKE_SIM_DBGPRINT") != nullptr;
  return on;
}

ULONG DbgPrint(PCSTR Format, ...) {
  if (!PrintDebug()) return 0;
  va_list args;
  va_start(args, Format);
  std::vfprintf(stderr, Format, args);
  va_end(args);
  return 0;
}

ULONG DbgPrintEx(ULONG ComponentId, ULONG Level, PCSTR Format, ...) {
  (void)ComponentId;
  (void)Level;
  if (!PrintDebug()) return 0;
  va_list args;
  va_start(args, Format);
  std::vfprintf(stderr, Format, args);
  va_end(args);
  return 0;
}

VOID DbgBreakPoint(VOID) {}

VOID KeBugCheckEx(ULONG BugCheckCode, ULONG_PTR P1, ULONG_PTR P2, ULONG_PTR P3, ULONG_PTR P4) {
  Reportf(Check::Assertion, "KeBugCheckEx(0x%x, %#zx, %#zx, %#zx, %#zx)", BugCheckCode, (size_t)P1,
          (size_t)P2, (size_t)P3, (size_t)P4);
  std::abort();
}

}  // extern "C"
