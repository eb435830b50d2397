// Between tests: every part of the simulation forgets what it holds.
#include "internal.h"

namespace vrnke_sim {

void Reset() {
  detail::StopThreads();
  detail::ResetWaits();
  detail::ResetLocks();
  detail::ResetRemoveLocks();
  detail::ResetDevices();
  detail::ResetIrps();
  detail::ResetPool();
  detail::ResetMdls();
  detail::ResetFaults();
  ClearFindings();
}

}  // namespace vrnke_sim
