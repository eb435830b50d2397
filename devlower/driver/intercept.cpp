// Internal device control of a filter instance: the USB request blocks of the function
// driver above travel here. Until report interception is built they pass down untouched.
#include "vrnkeflt.h"

NTSTATUS NTAPI VrnkeDispatchInternalControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  return VrnkeDispatchPassThrough(DeviceObject, Irp);
}
