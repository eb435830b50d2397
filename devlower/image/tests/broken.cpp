// A driver image with one of each fault the image check looks for; built only to show that the
// check finds them (see devlower/image/CMakeLists.txt).
#include <ntddk.h>

extern "C" {
// Not exported by the kernel the image runs on.
__declspec(dllimport) NTSTATUS NTAPI ExFetchLicenseData(PVOID Data, ULONG Length, PULONG Returned);
// From a user-mode module.
__declspec(dllimport) ULONG __stdcall GetTickCount(VOID);
// An exported global.
__declspec(dllexport) ULONG BrokenExported;
}

namespace {
// A static constructor: nothing would run it.
struct Counter {
  Counter() { BrokenExported = 1; }
};
Counter counter;

VOID NTAPI BrokenCsqInsert(PIO_CSQ, PIRP) {}
VOID NTAPI BrokenCsqRemove(PIO_CSQ, PIRP) {}
PIRP NTAPI BrokenCsqPeek(PIO_CSQ, PIRP, PVOID) { return NULL; }
VOID NTAPI BrokenCsqAcquire(PIO_CSQ, PKIRQL) {}
VOID NTAPI BrokenCsqRelease(PIO_CSQ, KIRQL) {}
VOID NTAPI BrokenCsqComplete(PIO_CSQ, PIRP) {}
IO_CSQ queue;
KSPIN_LOCK lock;
}  // namespace

// Runs under a spin lock, yet is placed in a pageable section (kept out of line: the compiler
// would otherwise fold it into its caller's section).
extern "C" __attribute__((section("PAGE"), noinline)) VOID BrokenUnderSpinLock(PKSPIN_LOCK Lock) {
  KIRQL irql;
  KeAcquireSpinLock(Lock, &irql);
  ++BrokenExported;
  KeReleaseSpinLock(Lock, irql);
}

// Resident, though the placement file puts it in INIT.
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
  UNREFERENCED_PARAMETER(DriverObject);
  UNREFERENCED_PARAMETER(RegistryPath);
  ULONG returned = 0;
  // The kernel's own cancel-safe queue, imported.
  IoCsqInitialize(&queue, BrokenCsqInsert, BrokenCsqRemove, BrokenCsqPeek, BrokenCsqAcquire, BrokenCsqRelease,
                  BrokenCsqComplete);
  KeInitializeSpinLock(&lock);
  BrokenUnderSpinLock(&lock);
  // Exported by the kernel under test only as a stub.
  if (IoGetFileObjectGenericMapping() == NULL) {
    return STATUS_UNSUCCESSFUL;
  }
  return ExFetchLicenseData(NULL, GetTickCount(), &returned);
}
