// Any table against any report. The compiled matcher must agree with a plain scan of the
// table; then the report travels through the simulated keyboard stack with the table loaded,
// and the bytes the function driver sees must be those a rewrite by the matching entry gives.
#include <usbkbd/usbkbd.h>
#include <vrnke_sim/sim.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "vrnkeflt.h"

namespace {

struct World {
  World() {
    vrnke_sim::Reset();
    pnp = std::make_unique<usbkbd::PnpManager>(DriverEntry);
    usbkbd::FunctionOptions options;
    options.BufferLength = 255;
    node = pnp->AddKeyboard(options);
    if (node == nullptr || pnp->Start(node) != STATUS_SUCCESS) std::abort();
    if (vrnke_sim::UserHandle::Open(L"\\\\.\\vrnkeflt", GENERIC_READ | GENERIC_WRITE, &handle) !=
        STATUS_SUCCESS)
      std::abort();
  }
  std::unique_ptr<usbkbd::PnpManager> pnp;
  usbkbd::DeviceNode* node = nullptr;
  std::unique_ptr<vrnke_sim::UserHandle> handle;
};

// Reads input bytes in order, cycling when they run out.
struct Source {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Next() { return size ? data[at++ % size] : 0; }
};

}  // namespace

// The simulation lives until the process ends and its global tables go before the leak check
// runs, so every object it still holds would look lost. Driver pool leaks are the tests'
// business (the unload check), not this target's.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

// Input: entry count, then per entry length, kind, remember, action, identifier and for each
// byte below the length a mask, a value and a replacement; then the report length and bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: the simulation's per-thread state goes first at exit.
  static World& world = *new World;
  if (size < 2) return 0;
  Source in{data, size};
  auto table = std::make_unique<PATTERN_TABLE>();
  std::memset(table.get(), 0, sizeof(PATTERN_TABLE));
  table->Signature = VRNKEFLT_REQUEST_SIGNATURE;
  table->Count = in.Next() % (VRNKEFLT_MAX_PATTERNS + 1);
  for (unsigned i = 0; i < table->Count; ++i) {
    PATTERN_ENTRY& e = table->Entries[i];
    e.ReportLength = in.Next() % 12;  // short reports, so that entries meet reports often
    e.Kind = in.Next() & 1;
    e.Remember = in.Next() & 1;
    e.Action = in.Next() % 5;
    e.Identifier = in.Next();
    for (unsigned j = 0; j < e.ReportLength; ++j) {
      uint8_t m = in.Next();
      e.Mask[j] = m < 160 ? 1 : (m < 200 ? 0 : m);
      e.Value[j] = in.Next() % 4;
      e.Replacement[j] = in.Next();
    }
  }
  std::vector<uint8_t> report(in.Next() % 12);
  for (auto& b : report) b = in.Next() % 4;

  auto index = std::make_unique<PATTERN_INDEX>();
  VrnkeBuildPatternIndex(table.get(), index.get());
  LONG found = VrnkeFindPattern(index.get(), report.data(), static_cast<ULONG>(report.size()));
  if (found != VrnkeFindPatternByteByByte(table.get(), report.data(), static_cast<ULONG>(report.size())))
    std::abort();
  if (report.empty()) return 0;

  ULONG_PTR returned = 0;
  if (world.handle->DeviceIoControl(IOCTL_VRNKEFLT_LOAD_PATTERNS, table.get(), sizeof(PATTERN_TABLE),
                                    table.get(), sizeof(PATTERN_TABLE), &returned) != STATUS_SUCCESS)
    std::abort();
  size_t before = world.node->Function->ReportCount();
  if (!world.node->Kbd->CompleteTransfer(report)) std::abort();
  for (int i = 0; world.node->Function->ReportCount() == before; ++i) {
    if (i > 100000) std::abort();
    std::this_thread::yield();
  }
  // Without a pending press a release neither rewrites nor records, so only a matching press
  // (or a rewrite-less action) fixes the bytes seen above here.
  std::vector<uint8_t> expected = report;
  if (found >= 0) {
    const PATTERN_ENTRY& e = table->Entries[found];
    bool rewrites = e.Action == VRNKEFLT_ACTION_REWRITE || e.Action == VRNKEFLT_ACTION_REWRITE_AND_RECORD;
    if (e.Kind == VRNKEFLT_KIND_PRESS && rewrites) {
      for (size_t j = 0; j < report.size(); ++j)
        if (e.Mask[j] == 1) expected[j] = e.Replacement[j];
    } else if (e.Kind != VRNKEFLT_KIND_PRESS) {
      return 0;  // depends on the press remembered by earlier inputs
    }
  }
  if (world.node->Function->Reports().back().Data != expected) std::abort();
  return 0;
}
