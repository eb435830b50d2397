// Any device-control request on the control device: any code, input and output lengths and
// bytes, with a keyboard bound whose default pipe answers. The verifier aborts on a finding,
// and a request must never return more bytes than its output length.
#include <usbkbd/usbkbd.h>
#include <vrnke_sim/sim.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "vrnkeflt.h"

namespace {

struct World {
  World() {
    vrnke_sim::Reset();
    vrnke_sim::SetDelayScale(1);  // the 50 ms pause of a feature read-back, shortened
    pnp = std::make_unique<usbkbd::PnpManager>(DriverEntry);
    node = pnp->AddKeyboard();
    if (node == nullptr || pnp->Start(node) != STATUS_SUCCESS) std::abort();
    node->Kbd->SetControlAnswer(STATUS_SUCCESS, usbkbd::Bytes(64, 0x5A));
    node->Kbd->SetRecording(false);
    if (vrnke_sim::UserHandle::Open(L"\\\\.\\vrnkeflt", GENERIC_READ | GENERIC_WRITE, &handle) !=
        STATUS_SUCCESS)
      std::abort();
  }
  std::unique_ptr<usbkbd::PnpManager> pnp;
  usbkbd::DeviceNode* node = nullptr;
  std::unique_ptr<vrnke_sim::UserHandle> handle;
};

const uint32_t kCodes[] = {IOCTL_VRNKEFLT_REPORT_TRANSFER, IOCTL_VRNKEFLT_LOAD_PATTERNS,
                           IOCTL_VRNKEFLT_READ_MATCHES, IOCTL_VRNKEFLT_FEATURE_EXCHANGE};
const uint32_t kSizes[] = {sizeof(REPORT_TRANSFER_REQUEST), sizeof(PATTERN_TABLE), sizeof(DELIVERY_BUFFER),
                           sizeof(FEATURE_EXCHANGE_REQUEST)};

uint32_t Word(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

}  // namespace

// The simulation lives until the process ends and its global tables go before the leak check
// runs, so every object it still holds would look lost. Driver pool leaks are the tests'
// business (the unload check), not this target's.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

// Input: selector, 4 bytes of code, 2 length selectors, then the request bytes (repeated to
// fill the input length).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: the simulation's per-thread state goes first at exit.
  static World& world = *new World;
  if (size < 7) return 0;
  uint8_t selector = data[0];
  uint32_t code = selector & 4 ? Word(data + 1) : kCodes[selector & 3];
  uint32_t size0 = kSizes[selector & 3];
  // Mostly the right sizes, sometimes off by a little, sometimes anything small.
  auto length = [&](uint8_t pick) -> uint32_t {
    switch (pick & 3) {
      case 0:
      case 1:
        return size0;
      case 2:
        return size0 + (pick >> 2) >= 32 ? size0 + (pick >> 2) - 32 : 0;
      default:
        return pick;
    }
  };
  uint32_t in = length(data[5]), out = length(data[6]);
  const uint8_t* body = data + 7;
  size_t bodySize = size - 7;
  std::vector<uint8_t> input(in);
  for (uint32_t i = 0; i < in && bodySize; ++i) input[i] = body[i % bodySize];
  // A signature where the driver looks for one, unless the selector says otherwise.
  if (!(selector & 8) && in >= 2) input[0] = 0x16, input[1] = 0x10;

  auto io = world.handle->DeviceIoControlAsync(code, input.data(), in, out);
  if (!io->Wait(std::chrono::milliseconds(0))) {
    io->Cancel();
    if (!io->Wait(std::chrono::seconds(10))) std::abort();
  }
  if (io->Information() > out) std::abort();
  return 0;
}
