// MDLs: allocated and freed by the I/O manager, described over ordinary memory (nothing is
// really locked or mapped here).
#include <cstdlib>

#include "io_internal.h"

namespace vrnke_sim::detail {

namespace {
std::mutex g_mdlMu;
std::unordered_set<PMDL> g_mdls;
}  // namespace

void ResetMdls() {
  std::lock_guard<std::mutex> m(g_mdlMu);
  for (PMDL mdl : g_mdls) std::free(mdl);
  g_mdls.clear();
}

}  // namespace vrnke_sim::detail

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

PMDL IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer, BOOLEAN ChargeQuota,
                   PIRP Irp) {
  (void)ChargeQuota;
  if (ShouldFail(Service::IoAllocateMdl, nullptr)) return nullptr;
  auto* mdl = static_cast<PMDL>(std::calloc(1, sizeof(MDL)));
  mdl->Size = sizeof(MDL);
  mdl->StartVa = PAGE_ALIGN(VirtualAddress);
  mdl->ByteOffset = BYTE_OFFSET(VirtualAddress);
  mdl->ByteCount = Length;
  {
    std::lock_guard<std::mutex> g(g_mdlMu);
    g_mdls.insert(mdl);
  }
  if (Irp) {
    if (!SecondaryBuffer || !Irp->MdlAddress) {
      Irp->MdlAddress = mdl;
    } else {
      PMDL last = Irp->MdlAddress;
      while (last->Next) last = last->Next;
      last->Next = mdl;
    }
  }
  return mdl;
}

VOID IoFreeMdl(PMDL Mdl) {
  bool known;
  {
    std::lock_guard<std::mutex> g(g_mdlMu);
    known = g_mdls.erase(Mdl) != 0;
  }
  if (!known) {
    Reportf(Check::PoolBadFree, "IoFreeMdl on %p, which is not an MDL from IoAllocateMdl (freed twice?)",
            (void*)Mdl);
    return;
  }
  std::free(Mdl);
}

VOID MmBuildMdlForNonPagedPool(PMDL MemoryDescriptorList) {
  MemoryDescriptorList->MappedSystemVa = MmGetMdlVirtualAddress(MemoryDescriptorList);
  MemoryDescriptorList->MdlFlags |= MDL_SOURCE_IS_NONPAGED_POOL;
}

PVOID MmMapLockedPagesSpecifyCache(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode,
                                   MEMORY_CACHING_TYPE CacheType, PVOID RequestedAddress,
                                   ULONG BugCheckOnFailure, ULONG Priority) {
  (void)AccessMode;
  (void)CacheType;
  (void)RequestedAddress;
  (void)BugCheckOnFailure;
  (void)Priority;
  MemoryDescriptorList->MappedSystemVa = MmGetMdlVirtualAddress(MemoryDescriptorList);
  MemoryDescriptorList->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
  return MemoryDescriptorList->MappedSystemVa;
}

VOID MmProbeAndLockPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode, LOCK_OPERATION Operation) {
  (void)AccessMode;
  (void)Operation;
  MemoryDescriptorList->MdlFlags |= MDL_PAGES_LOCKED;
}

VOID MmUnlockPages(PMDL MemoryDescriptorList) { MemoryDescriptorList->MdlFlags &= ~MDL_PAGES_LOCKED; }

}  // extern "C"
