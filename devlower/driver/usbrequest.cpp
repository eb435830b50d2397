// USB requests of the control interface: control transfers on the default pipe of the device
// below the bound filter instance, sent and waited for at passive level.
#include "vrnkeflt.h"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, VrnkeSubmitUrbSync)
#pragma alloc_text(PAGE, VrnkeControlTransfer)
#endif

VRNKE_PAGE_CODE
NTSTATUS VrnkeSubmitUrbSync(PDEVICE_OBJECT Lower, PURB Urb) {
  PAGED_CODE();
  KEVENT done;
  IO_STATUS_BLOCK iosb;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  PIRP irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_USB_SUBMIT_URB, Lower, NULL, 0, NULL, 0, TRUE,
                                           &done, &iosb);
  if (irp == NULL) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = Urb;
  // The I/O manager frees the request; its status arrives in the status block.
  NTSTATUS status = IoCallDriver(Lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    status = iosb.Status;
  }
  return status;
}

VRNKE_PAGE_CODE
NTSTATUS VrnkeControlTransfer(PDEVICE_OBJECT Filter, const UCHAR* SetupPacket, ULONG TransferFlags,
                              PVOID Buffer, ULONG Length, PVOID LockTag) {
  PAGED_CODE();
  PFILTER_EXTENSION ext = VrnkeFilterExtension(Filter);
  // Fails once the filter's removal has started: the caller's reference keeps the object.
  NTSTATUS status = IoAcquireRemoveLock(&ext->RemoveLock, LockTag);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  const ULONG size = sizeof(struct _URB_CONTROL_TRANSFER);
  PURB urb = (PURB)ExAllocatePoolWithTag(NonPagedPool, size, VRNKEFLT_POOL_TAG);
  if (urb == NULL) {
    IoReleaseRemoveLock(&ext->RemoveLock, LockTag);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  RtlZeroMemory(urb, size);
  urb->UrbHeader.Length = (USHORT)size;
  urb->UrbHeader.Function = URB_FUNCTION_CONTROL_TRANSFER;
  urb->UrbControlTransfer.TransferFlags = TransferFlags;
  urb->UrbControlTransfer.TransferBufferLength = Length;
  urb->UrbControlTransfer.TransferBuffer = Buffer;
  RtlCopyMemory(urb->UrbControlTransfer.SetupPacket, SetupPacket, 8);

  status = VrnkeSubmitUrbSync(ext->NextLower, urb);
  ExFreePoolWithTag(urb, VRNKEFLT_POOL_TAG);
  IoReleaseRemoveLock(&ext->RemoveLock, LockTag);
  return status;
}
