// The client's device on Windows: the control device opened with CreateFileW and driven with
// DeviceIoControl (overlapped, so that a read can wait and be cancelled).
#pragma once

#include "vrnkeclient/client.h"

namespace vrnkeclient {

// Opens \\.\vrnkeflt for reading and writing; nullptr (and the Win32 error in *error) when it
// cannot be opened.
std::unique_ptr<Device> OpenWinDevice(uint32_t* error);

}  // namespace vrnkeclient
