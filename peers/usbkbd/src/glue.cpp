#include "glue.h"

#include <vrnke_sim/sim.h>

namespace usbkbd::glue {

PDRIVER_OBJECT LoadDriver(PCWSTR service, PDRIVER_INITIALIZE entry, NTSTATUS* status) {
  return vrnke_sim::LoadDriver(entry, service, status);
}

void UnloadDriver(PDRIVER_OBJECT driver) {
  if (driver != nullptr) vrnke_sim::UnloadDriver(driver);
}

NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo, bool filter) {
  return vrnke_sim::CallAddDevice(
      driver, pdo, filter ? vrnke_sim::AddDeviceRole::Filter : vrnke_sim::AddDeviceRole::Function);
}

}  // namespace usbkbd::glue
