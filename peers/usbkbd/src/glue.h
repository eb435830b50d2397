// The few services of the kernel simulation itself that the peers need.
#pragma once

#include <wdm.h>

namespace usbkbd::glue {

// Creates a driver object for this service and runs entry for it; *status receives its result.
PDRIVER_OBJECT LoadDriver(PCWSTR service, PDRIVER_INITIALIZE entry, NTSTATUS* status);
// Calls the driver's unload routine and lets the simulation check what it left behind.
void UnloadDriver(PDRIVER_OBJECT driver);
// Calls AddDevice as the PnP manager does, with the simulation's checks of the new device.
NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo, bool filter);

}  // namespace usbkbd::glue
