// Device objects created with a security descriptor given in SDDL.
#pragma once
#include <wdm.h>

VRNKE_SIM_BEGIN_C
NTSTATUS IoCreateDeviceSecure(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                              PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType, ULONG DeviceCharacteristics,
                              BOOLEAN Exclusive, PCUNICODE_STRING DefaultSDDLString, LPCGUID DeviceClassGuid,
                              PDEVICE_OBJECT* DeviceObject);
#define WdmlibIoCreateDeviceSecure IoCreateDeviceSecure
VRNKE_SIM_END_C

// Predefined descriptors.
#define SDDL_DEVOBJ_KERNEL_ONLY L"D:P"
#define SDDL_DEVOBJ_SYS_ALL L"D:P(A;;GA;;;SY)"
#define SDDL_DEVOBJ_SYS_ALL_ADM_ALL L"D:P(A;;GA;;;SY)(A;;GA;;;BA)"
#define SDDL_DEVOBJ_SYS_ALL_ADM_RX L"D:P(A;;GA;;;SY)(A;;GRGX;;;BA)"
#define SDDL_DEVOBJ_SYS_ALL_ADM_RWX_WORLD_R L"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GR;;;WD)"
#define SDDL_DEVOBJ_SYS_ALL_ADM_RWX_WORLD_RW_RES_R \
  L"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GRGW;;;WD)(A;;GR;;;RC)"
#define SDDL_DEVOBJ_SYS_ALL_ADM_RWX_WORLD_RWX_RES_RWX \
  L"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GRGWGX;;;WD)(A;;GRGWGX;;;RC)"
