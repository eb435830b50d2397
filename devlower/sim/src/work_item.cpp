// Work items: run on the simulation's worker thread, holding a reference on their device.
#include "io_internal.h"

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

struct _IO_WORKITEM {
  PDEVICE_OBJECT device;
};

PIO_WORKITEM IoAllocateWorkItem(PDEVICE_OBJECT DeviceObject) {
  if (ShouldFail(Service::IoAllocateWorkItem, nullptr)) return nullptr;
  auto* item = static_cast<PIO_WORKITEM>(
      ExAllocatePoolWithTag(NonPagedPool, sizeof(_IO_WORKITEM), TAG('I', 'o', 'W', 'k')));
  if (item) item->device = DeviceObject;
  return item;
}

VOID IoFreeWorkItem(PIO_WORKITEM IoWorkItem) { ExFreePoolWithTag(IoWorkItem, TAG('I', 'o', 'W', 'k')); }

VOID IoQueueWorkItem(PIO_WORKITEM IoWorkItem, PIO_WORKITEM_ROUTINE WorkerRoutine, WORK_QUEUE_TYPE QueueType,
                     PVOID Context) {
  (void)QueueType;
  PDEVICE_OBJECT dev = IoWorkItem->device;
  ObfReferenceObject(dev);  // the device lives until the routine has run
  vrnke_sim::QueueWork([dev, WorkerRoutine, Context] {
    {
      DriverScope scope(dev->DriverObject);
      WorkerRoutine(dev, Context);
    }
    ObfDereferenceObject(dev);
  });
}

}  // extern "C"
