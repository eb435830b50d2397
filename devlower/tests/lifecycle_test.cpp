// Lifecycle of filter instances and of the control device, with the verifier on.
#include "filter_fixture.h"

namespace vrnkeflt_test {
namespace {

constexpr GUID kClassGuid = {0xC1DBBF82, 0x32F1, 0x443D, {0xB3, 0xB9, 0x10, 0x5E, 0x70, 0xA8, 0xE2, 0x07}};

class Lifecycle : public FilterTest {};

TEST(PoolTag, ReadsVrkfInAPoolDump) { EXPECT_EQ(vrnke_sim::TagText(VRNKEFLT_POOL_TAG), "vrkf"); }

TEST_F(Lifecycle, OneKeyboardStartedStoppedRestartedAndRemoved) {
  DeviceNode* node = pnp_->AddKeyboard();
  ASSERT_NE(node, nullptr);
  ASSERT_NE(node->Filter, nullptr);
  EXPECT_EQ(Ext(node)->DeviceKind, VRNKEFLT_KIND_FILTER);
  EXPECT_EQ(Ext(node)->Self, node->Filter);
  EXPECT_EQ(Ext(node)->NextLower, node->Kbd->Pdo());
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(NotStarted));
  EXPECT_EQ(ControlDevice, nullptr);

  ASSERT_EQ(pnp_->Start(node), STATUS_SUCCESS);
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(Started));
  EXPECT_EQ(InstanceCount, 1u);
  ASSERT_NE(ControlDevice, nullptr);
  PDEVICE_OBJECT control = ControlDevice;
  EXPECT_EQ(vrnke_sim::FindDevice(kDeviceName), control);
  EXPECT_TRUE(vrnke_sim::SymbolicLinkExists(kLinkName));
  EXPECT_EQ(vrnke_sim::DeviceSddl(control), L"D:P(A;;GA;;;WD)(A;;GA;;;WD)");
  GUID guid = vrnke_sim::DeviceClassGuid(control);
  EXPECT_EQ(0, memcmp(&guid, &kClassGuid, sizeof(GUID)));
  EXPECT_EQ(control->DeviceType, static_cast<DEVICE_TYPE>(FILE_DEVICE_UNKNOWN));
  EXPECT_TRUE(control->Characteristics & FILE_DEVICE_SECURE_OPEN);
  EXPECT_TRUE(control->Flags & DO_BUFFERED_IO);
  EXPECT_FALSE(control->Flags & DO_DEVICE_INITIALIZING);
  ASSERT_NE(ControlExt(), nullptr);
  EXPECT_EQ(ControlExt()->DeviceKind, VRNKEFLT_KIND_CONTROL);
  EXPECT_EQ(ControlExt()->RemovedFlag, 0u);
  EXPECT_EQ(ControlExt()->BusyFlag, 0u);
  EXPECT_EQ(BoundFilterDevice, node->Filter);
  EXPECT_EQ(vrnke_sim::DeviceReferences(node->Filter), 1);
  // The function driver's interrupt transfers went through the filter.
  EXPECT_EQ(node->Kbd->PendingTransfers(), 2u);

  ASSERT_EQ(pnp_->QueryStop(node), STATUS_SUCCESS);
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(StopPending));
  ASSERT_EQ(pnp_->Stop(node), STATUS_SUCCESS);
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(Stopped));
  ASSERT_EQ(pnp_->Start(node), STATUS_SUCCESS);
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(Started));
  EXPECT_EQ(InstanceCount, 1u) << "a restart after a stop must not count again";
  EXPECT_EQ(ControlDevice, control);

  {
    std::unique_ptr<vrnke_sim::UserHandle> handle;
    ASSERT_EQ(vrnke_sim::UserHandle::Open(kUserPath, GENERIC_READ | GENERIC_WRITE, &handle), STATUS_SUCCESS);
    ULONG_PTR returned = 99;
    UCHAR buffer[4] = {};
    EXPECT_EQ(handle->DeviceIoControl(0x80020000, buffer, sizeof(buffer), buffer, sizeof(buffer), &returned),
              STATUS_SUCCESS);
    EXPECT_EQ(returned, 0u);
  }

  PDEVICE_OBJECT filter = node->Filter;
  ASSERT_EQ(pnp_->Remove(node), STATUS_SUCCESS);
  EXPECT_FALSE(vrnke_sim::DeviceAlive(filter));
  EXPECT_EQ(ControlDevice, nullptr);
  EXPECT_EQ(BoundFilterDevice, nullptr);
  EXPECT_EQ(InstanceCount, 0u);
  EXPECT_EQ(vrnke_sim::FindDevice(kDeviceName), nullptr);
  EXPECT_FALSE(vrnke_sim::SymbolicLinkExists(kLinkName));
  EXPECT_TRUE(vrnke_sim::OutstandingPool(pnp_->FilterDriver()).empty());
  pnp_->UnloadFilter();
}

TEST_F(Lifecycle, FirstStartedRemovedFirstLeavesAnUnboundControlDevice) {
  DeviceNode* first = AddStarted();
  DeviceNode* second = AddStarted();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(InstanceCount, 2u);
  EXPECT_EQ(BoundFilterDevice, first->Filter) << "the control device stays bound to the first instance";
  PDEVICE_OBJECT control = ControlDevice;
  ASSERT_NE(control, nullptr);

  ASSERT_EQ(pnp_->Remove(first), STATUS_SUCCESS);
  EXPECT_EQ(ControlDevice, control);
  EXPECT_EQ(BoundFilterDevice, nullptr);
  EXPECT_EQ(InstanceCount, 1u);
  EXPECT_TRUE(vrnke_sim::SymbolicLinkExists(kLinkName));

  std::unique_ptr<vrnke_sim::UserHandle> handle;
  EXPECT_EQ(vrnke_sim::UserHandle::Open(kUserPath, GENERIC_READ, &handle), STATUS_DEVICE_REMOVED);

  // The remaining keyboard still works through its filter.
  ASSERT_TRUE(second->Kbd->CompleteTransfer(Bytes{1, 2, 3}));
  EXPECT_EQ(second->Function->ReportCount(), 1u);

  ASSERT_EQ(pnp_->Remove(second), STATUS_SUCCESS);
  EXPECT_EQ(ControlDevice, nullptr);
  EXPECT_EQ(InstanceCount, 0u);
  EXPECT_FALSE(vrnke_sim::SymbolicLinkExists(kLinkName));
}

TEST_F(Lifecycle, HandleThatOutlivesTheControlDeviceGetsDeviceRemoved) {
  DeviceNode* node = AddStarted();
  std::unique_ptr<vrnke_sim::UserHandle> handle;
  ASSERT_EQ(vrnke_sim::UserHandle::Open(kUserPath, GENERIC_READ | GENERIC_WRITE, &handle), STATUS_SUCCESS);
  ASSERT_EQ(pnp_->Remove(node), STATUS_SUCCESS);
  EXPECT_EQ(ControlDevice, nullptr);
  UCHAR buffer[4] = {};
  EXPECT_EQ(handle->DeviceIoControl(0x80020000, buffer, sizeof(buffer), buffer, sizeof(buffer)),
            STATUS_DEVICE_REMOVED);
  handle.reset();
}

struct StartFailure {
  const char* name;
  bool completeLater;
};

class StartFailsBelow : public FilterTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailsBelow, NoControlDeviceAndTheCountIsUntouched) {
  DeviceNode* node = pnp_->AddKeyboard();
  ASSERT_NE(node, nullptr);
  node->Kbd->SetStart(STATUS_DEVICE_NOT_READY, GetParam().completeLater);
  EXPECT_EQ(pnp_->Start(node), STATUS_DEVICE_NOT_READY);
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(NotStarted));
  EXPECT_EQ(ControlDevice, nullptr);
  EXPECT_EQ(InstanceCount, 0u);

  // With another keyboard counted, removing the failed one leaves the count alone.
  DeviceNode* good = AddStarted();
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(InstanceCount, 1u);
  ASSERT_EQ(pnp_->Remove(node), STATUS_SUCCESS);
  EXPECT_EQ(InstanceCount, 1u);
  EXPECT_NE(ControlDevice, nullptr);
  EXPECT_EQ(BoundFilterDevice, good->Filter);
  ASSERT_EQ(pnp_->Remove(good), STATUS_SUCCESS);
  EXPECT_EQ(InstanceCount, 0u);
  EXPECT_EQ(ControlDevice, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartFailsBelow,
                         ::testing::Values(StartFailure{"AtOnce", false}, StartFailure{"Pending", true}),
                         [](const ::testing::TestParamInfo<StartFailure>& p) {
                           return std::string(p.param.name);
                         });

TEST_F(Lifecycle, StartCompletedLaterBelowStillCreatesTheControlDevice) {
  DeviceNode* node = pnp_->AddKeyboard();
  ASSERT_NE(node, nullptr);
  node->Kbd->SetStart(STATUS_SUCCESS, true);
  EXPECT_EQ(pnp_->Start(node), STATUS_SUCCESS);
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(Started));
  EXPECT_NE(ControlDevice, nullptr);
}

TEST_F(Lifecycle, RemovableMediaOfTheDeviceBelowIsCopiedOnStart) {
  DeviceNode* node = pnp_->AddKeyboard();
  ASSERT_NE(node, nullptr);
  node->Kbd->SetCharacteristics(node->Kbd->Pdo()->Characteristics | FILE_REMOVABLE_MEDIA);
  EXPECT_FALSE(node->Filter->Characteristics & FILE_REMOVABLE_MEDIA);
  ASSERT_EQ(pnp_->Start(node), STATUS_SUCCESS);
  EXPECT_TRUE(node->Filter->Characteristics & FILE_REMOVABLE_MEDIA);
}

// Query and cancel requests, from the right and the wrong state.
struct QueryCase {
  const char* name;
  std::vector<UCHAR> minors;  // sent after the start, in order
  ULONG expected;
};

class QueryAndCancel : public FilterTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryAndCancel, StateFollowsAndEveryRequestGoesDownWithSuccess) {
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  for (UCHAR minor : GetParam().minors) {
    node->Kbd->ClearReceived();
    EXPECT_EQ(pnp_->Pnp(node, minor), STATUS_SUCCESS);
    auto received = node->Kbd->Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].Major, IRP_MJ_PNP);
    EXPECT_EQ(received[0].Minor, minor);
    EXPECT_EQ(received[0].StatusOnArrival, STATUS_SUCCESS);
  }
  EXPECT_EQ(Ext(node)->PnpState, GetParam().expected);
  EXPECT_EQ(InstanceCount, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryAndCancel,
    ::testing::Values(
        QueryCase{"QueryStopCancelled", {IRP_MN_QUERY_STOP_DEVICE, IRP_MN_CANCEL_STOP_DEVICE}, Started},
        QueryCase{"CancelStopWithoutQuery", {IRP_MN_CANCEL_STOP_DEVICE}, Started},
        QueryCase{"QueryRemoveCancelled", {IRP_MN_QUERY_REMOVE_DEVICE, IRP_MN_CANCEL_REMOVE_DEVICE}, Started},
        QueryCase{"CancelRemoveWithoutQuery", {IRP_MN_CANCEL_REMOVE_DEVICE}, Started},
        QueryCase{"CancelStopWhileRemovePending",
                  {IRP_MN_QUERY_REMOVE_DEVICE, IRP_MN_CANCEL_STOP_DEVICE},
                  RemovePending},
        QueryCase{"CancelRemoveWhileStopPending",
                  {IRP_MN_QUERY_STOP_DEVICE, IRP_MN_CANCEL_REMOVE_DEVICE},
                  StopPending},
        QueryCase{"QueryRemoveOfAStoppedDeviceCancelled",
                  {IRP_MN_QUERY_STOP_DEVICE, IRP_MN_STOP_DEVICE, IRP_MN_QUERY_REMOVE_DEVICE,
                   IRP_MN_CANCEL_REMOVE_DEVICE},
                  Stopped},
        QueryCase{"SurpriseRemoval", {IRP_MN_SURPRISE_REMOVAL}, SurpriseRemovePending}),
    [](const ::testing::TestParamInfo<QueryCase>& p) { return std::string(p.param.name); });

TEST_F(Lifecycle, UnknownPnpRequestsKeepTheirStatus) {
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  node->Kbd->ClearReceived();
  EXPECT_EQ(pnp_->Pnp(node, IRP_MN_QUERY_CAPABILITIES), STATUS_NOT_SUPPORTED);
  auto received = node->Kbd->Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].StatusOnArrival, STATUS_NOT_SUPPORTED);
  EXPECT_EQ(Ext(node)->PnpState, static_cast<ULONG>(Started));
}

TEST_F(Lifecycle, RemovalAfterSurpriseRemovalWaitsForRequestsInFlight) {
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  PDEVICE_OBJECT filter = node->Filter;
  PFILTER_EXTENSION ext = Ext(node);

  // A request inside the filter, held by the device below.
  node->Kbd->Hold(IRP_MJ_READ);
  std::atomic<NTSTATUS> readStatus{STATUS_PENDING};
  std::thread reader([&] { readStatus = pnp_->Send(filter, IRP_MJ_READ, 0); });
  node->Kbd->WaitHeld();

  ASSERT_EQ(pnp_->SurpriseRemove(node), STATUS_SUCCESS);
  EXPECT_EQ(ext->PnpState, static_cast<ULONG>(SurpriseRemovePending));

  std::atomic<NTSTATUS> removeStatus{STATUS_PENDING};
  std::thread remover([&] { removeStatus = pnp_->Remove(node); });
  // The simulation sets the flag with an atomic store from the removing thread.
  ASSERT_TRUE(Eventually(
      [&] { return __atomic_load_n(&ext->RemoveLock.Common.Removed, __ATOMIC_ACQUIRE) != FALSE; }));
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_PNP, IRP_MN_REMOVE_DEVICE), 0u) << "removal must wait";

  // New requests are refused while the removal waits; power requests too.
  EXPECT_EQ(pnp_->Send(filter, IRP_MJ_WRITE, 0), STATUS_DELETE_PENDING);
  EXPECT_EQ(pnp_->Send(filter, IRP_MJ_POWER, IRP_MN_QUERY_POWER), STATUS_DELETE_PENDING);
  EXPECT_EQ(pnp_->Send(filter, IRP_MJ_PNP, IRP_MN_QUERY_CAPABILITIES), STATUS_DELETE_PENDING);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_WRITE), 0u);

  node->Kbd->Release();
  reader.join();
  remover.join();
  EXPECT_EQ(readStatus.load(), STATUS_SUCCESS);
  EXPECT_EQ(removeStatus.load(), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_PNP, IRP_MN_REMOVE_DEVICE), 1u);
  EXPECT_FALSE(vrnke_sim::DeviceAlive(filter));
  EXPECT_EQ(ControlDevice, nullptr);
  EXPECT_EQ(InstanceCount, 0u);
}

// A function driver that passes the removal down before its own requests are back: the
// filter's removal is what waits for them.
TEST_F(Lifecycle, RemovalPassedDownBeforeTheFunctionDriverDrainsWaitsInTheFilter) {
  FunctionOptions options;
  options.RemoveBeforeDrain = true;
  DeviceNode* node = AddStarted(options);
  ASSERT_NE(node, nullptr);
  PFILTER_EXTENSION ext = Ext(node);
  node->Kbd->Hold(IRP_MJ_READ);
  std::atomic<NTSTATUS> readStatus{STATUS_PENDING};
  std::thread reader([&] { readStatus = node->Function->SendDown(IRP_MJ_READ); });
  node->Kbd->WaitHeld();
  ASSERT_EQ(pnp_->SurpriseRemove(node), STATUS_SUCCESS);

  std::atomic<NTSTATUS> removeStatus{STATUS_PENDING};
  std::thread remover([&] { removeStatus = pnp_->Remove(node); });
  ASSERT_TRUE(Eventually(
      [&] { return __atomic_load_n(&ext->RemoveLock.Common.Removed, __ATOMIC_ACQUIRE) != FALSE; }));
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_PNP, IRP_MN_REMOVE_DEVICE), 0u) << "the filter must wait";
  node->Kbd->Release();
  reader.join();
  remover.join();
  EXPECT_EQ(readStatus.load(), STATUS_SUCCESS);
  EXPECT_EQ(removeStatus.load(), STATUS_SUCCESS);
  EXPECT_EQ(InstanceCount, 0u);
}

struct ControlFailure {
  const char* name;
  vrnke_sim::Service service;
};

class ControlDeviceFails : public FilterTest, public ::testing::WithParamInterface<ControlFailure> {};

TEST_P(ControlDeviceFails, FilterStillPassesEverything) {
  vrnke_sim::FailNext(GetParam().service, 1, 1, STATUS_INSUFFICIENT_RESOURCES);
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(vrnke_sim::InjectedFailures(), 1u);
  EXPECT_EQ(ControlDevice, nullptr);
  EXPECT_EQ(BoundFilterDevice, nullptr);
  EXPECT_EQ(InstanceCount, 1u) << "the count stays raised";
  EXPECT_EQ(vrnke_sim::FindDevice(kDeviceName), nullptr);
  EXPECT_FALSE(vrnke_sim::SymbolicLinkExists(kLinkName));

  EXPECT_EQ(node->Function->SendDown(IRP_MJ_READ), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_READ), 1u);
  ASSERT_TRUE(node->Kbd->CompleteTransfer(Bytes{4, 5, 6}));
  ASSERT_EQ(node->Function->ReportCount(), 1u);
  EXPECT_EQ(node->Function->Reports()[0].Data, (Bytes{4, 5, 6}));

  // A second keyboard only counts: no new attempt while the count is above zero.
  DeviceNode* second = AddStarted();
  EXPECT_EQ(InstanceCount, 2u);
  EXPECT_EQ(ControlDevice, nullptr);
  ASSERT_EQ(pnp_->Remove(node), STATUS_SUCCESS);
  ASSERT_EQ(pnp_->Remove(second), STATUS_SUCCESS);
  EXPECT_EQ(InstanceCount, 0u);

  // Back at zero, the next start creates it.
  DeviceNode* third = AddStarted();
  ASSERT_NE(third, nullptr);
  EXPECT_NE(ControlDevice, nullptr);
  EXPECT_EQ(BoundFilterDevice, third->Filter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ControlDeviceFails,
    ::testing::Values(ControlFailure{"Device", vrnke_sim::Service::IoCreateDeviceSecure},
                      ControlFailure{"SymbolicLink", vrnke_sim::Service::IoCreateSymbolicLink}),
    [](const ::testing::TestParamInfo<ControlFailure>& p) { return std::string(p.param.name); });

struct AddDeviceFailure {
  const char* name;
  vrnke_sim::Service service;
  unsigned nth;  // the bus creates its device object first
  NTSTATUS injected;
  NTSTATUS expected;
};

class AddDeviceFails : public FilterTest, public ::testing::WithParamInterface<AddDeviceFailure> {};

TEST_P(AddDeviceFails, ReturnsTheFailureAndLeavesNothingAttached) {
  const AddDeviceFailure& c = GetParam();
  vrnke_sim::FailNext(c.service, c.nth, 1, c.injected);
  NTSTATUS status = STATUS_SUCCESS;
  EXPECT_EQ(pnp_->AddKeyboard(FunctionOptions(), &status), nullptr);
  EXPECT_EQ(status, c.expected);
  EXPECT_EQ(vrnke_sim::InjectedFailures(), 1u);
  // Nothing of the filter is left: its unload in TearDown checks devices and pool.
  EXPECT_EQ(pnp_->FilterDriver()->DeviceObject, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddDeviceFails,
    ::testing::Values(AddDeviceFailure{"CreateDevice", vrnke_sim::Service::IoCreateDevice, 2,
                                       STATUS_INSUFFICIENT_RESOURCES, STATUS_INSUFFICIENT_RESOURCES},
                      AddDeviceFailure{"Attach", vrnke_sim::Service::IoAttachDeviceToDeviceStack, 1,
                                       STATUS_UNSUCCESSFUL, STATUS_UNSUCCESSFUL}),
    [](const ::testing::TestParamInfo<AddDeviceFailure>& p) { return std::string(p.param.name); });

TEST_F(Lifecycle, OldWdmVersionTakesTheTypeOfTheStack) {
  vrnke_sim::SetWdmVersion(1, 0x10);
  DeviceNode* node = pnp_->AddKeyboard();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Filter->DeviceType, node->Kbd->Pdo()->DeviceType);
}

}  // namespace
}  // namespace vrnkeflt_test
