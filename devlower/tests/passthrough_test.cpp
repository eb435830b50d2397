// Requests that a filter instance passes down, and requests that reach the control device.
#include "filter_fixture.h"

namespace vrnkeflt_test {
namespace {

class PassThrough : public FilterTest {};

constexpr UCHAR kStackFlags = 0x02;  // any flag bits: they must arrive as sent

struct MajorCase {
  UCHAR major;
  const char* name;
};

const MajorCase kMajors[] = {
    {IRP_MJ_CREATE, "Create"},
    {IRP_MJ_CREATE_NAMED_PIPE, "CreateNamedPipe"},
    {IRP_MJ_CLOSE, "Close"},
    {IRP_MJ_READ, "Read"},
    {IRP_MJ_WRITE, "Write"},
    {IRP_MJ_QUERY_INFORMATION, "QueryInformation"},
    {IRP_MJ_SET_INFORMATION, "SetInformation"},
    {IRP_MJ_QUERY_EA, "QueryEa"},
    {IRP_MJ_SET_EA, "SetEa"},
    {IRP_MJ_FLUSH_BUFFERS, "FlushBuffers"},
    {IRP_MJ_QUERY_VOLUME_INFORMATION, "QueryVolumeInformation"},
    {IRP_MJ_SET_VOLUME_INFORMATION, "SetVolumeInformation"},
    {IRP_MJ_DIRECTORY_CONTROL, "DirectoryControl"},
    {IRP_MJ_FILE_SYSTEM_CONTROL, "FileSystemControl"},
    {IRP_MJ_DEVICE_CONTROL, "DeviceControl"},
    {IRP_MJ_INTERNAL_DEVICE_CONTROL, "InternalDeviceControl"},
    {IRP_MJ_SHUTDOWN, "Shutdown"},
    {IRP_MJ_LOCK_CONTROL, "LockControl"},
    {IRP_MJ_CLEANUP, "Cleanup"},
    {IRP_MJ_CREATE_MAILSLOT, "CreateMailslot"},
    {IRP_MJ_QUERY_SECURITY, "QuerySecurity"},
    {IRP_MJ_SET_SECURITY, "SetSecurity"},
    {IRP_MJ_SYSTEM_CONTROL, "SystemControl"},
    {IRP_MJ_DEVICE_CHANGE, "DeviceChange"},
    {IRP_MJ_QUERY_QUOTA, "QueryQuota"},
    {IRP_MJ_SET_QUOTA, "SetQuota"},
};

class EveryOtherMajor : public FilterTest, public ::testing::WithParamInterface<MajorCase> {};

// Every request the filter does not interpret reaches the device below with its parameters
// untouched, and its result comes back unchanged.
TEST_P(EveryOtherMajor, ReachesTheDeviceBelowUntouched) {
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  node->Kbd->ClearReceived();
  node->Kbd->SetOtherStatus(STATUS_NOT_IMPLEMENTED);

  const UCHAR major = GetParam().major;
  PVOID args[4] = {reinterpret_cast<PVOID>(0x1111), reinterpret_cast<PVOID>(0x2222),
                   reinterpret_cast<PVOID>(static_cast<uintptr_t>(0x3333)), reinterpret_cast<PVOID>(0x4444)};
  if (major == IRP_MJ_INTERNAL_DEVICE_CONTROL)
    args[2] = reinterpret_cast<PVOID>(0x0022FFF3);  // not a URB code
  const UCHAR minor = 0x05;
  NTSTATUS status = node->Function->SendDown(major, minor, [&](PIRP irp, PIO_STACK_LOCATION s) {
    s->Flags = kStackFlags;
    s->Parameters.Others.Argument1 = args[0];
    s->Parameters.Others.Argument2 = args[1];
    s->Parameters.Others.Argument3 = args[2];
    s->Parameters.Others.Argument4 = args[3];
    irp->IoStatus.Information = 77;
  });
  if (major == IRP_MJ_INTERNAL_DEVICE_CONTROL) {
    EXPECT_EQ(status, STATUS_SUCCESS);  // the bus answers internal requests itself
  } else {
    EXPECT_EQ(status, STATUS_NOT_IMPLEMENTED);
  }

  auto received = node->Kbd->Received();
  ASSERT_EQ(received.size(), 1u);
  const auto& r = received[0];
  EXPECT_EQ(r.Major, major);
  EXPECT_EQ(r.Minor, minor);
  EXPECT_EQ(r.Flags, kStackFlags);
  EXPECT_EQ(r.Argument1, args[0]);
  EXPECT_EQ(r.Argument2, args[1]);
  EXPECT_EQ(r.Argument3, args[2]);
  EXPECT_EQ(r.Argument4, args[3]);
  EXPECT_EQ(r.StatusOnArrival, STATUS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Cases, EveryOtherMajor, ::testing::ValuesIn(kMajors),
                         [](const ::testing::TestParamInfo<MajorCase>& p) {
                           return std::string(p.param.name);
                         });

TEST_F(PassThrough, PowerRequestsGoDownWithTheirParameters) {
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  node->Kbd->ClearReceived();
  POWER_STATE state;
  state.DeviceState = PowerDeviceD3;
  EXPECT_EQ(pnp_->Power(node, IRP_MN_QUERY_POWER, DevicePowerState, state), STATUS_SUCCESS);
  EXPECT_EQ(pnp_->Power(node, IRP_MN_SET_POWER, DevicePowerState, state), STATUS_SUCCESS);
  state.SystemState = PowerSystemSleeping1;
  EXPECT_EQ(pnp_->Power(node, IRP_MN_SET_POWER, SystemPowerState, state), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_POWER, IRP_MN_QUERY_POWER), 1u);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_POWER, IRP_MN_SET_POWER), 2u);
}

TEST_F(PassThrough, PassThroughWorksBeforeStartAndAfterStop) {
  DeviceNode* node = pnp_->AddKeyboard();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Function->SendDown(IRP_MJ_READ), STATUS_SUCCESS);
  ASSERT_EQ(pnp_->Start(node), STATUS_SUCCESS);
  ASSERT_EQ(pnp_->QueryStop(node), STATUS_SUCCESS);
  ASSERT_EQ(pnp_->Stop(node), STATUS_SUCCESS);
  EXPECT_EQ(node->Function->SendDown(IRP_MJ_WRITE), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_READ), 1u);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_WRITE), 1u);
}

// Paging-path notifications: the filter follows the device above on the way down and the
// device below on the way up.
struct UsageCase {
  const char* name;
  bool abovePagable;
  bool belowPagable;
  bool belowCompletesLater;
  bool expected;
};

class UsageNotification : public FilterTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageNotification, PowerPagableFollowsTheStack) {
  const UsageCase& c = GetParam();
  FunctionOptions options;
  options.PagingPath = c.abovePagable;
  DeviceNode* node = AddStarted(options);
  ASSERT_NE(node, nullptr);
  if (!c.belowPagable) node->Kbd->SetFlags(0, DO_POWER_PAGABLE);
  node->Kbd->SetUsageNotificationLater(c.belowCompletesLater);
  EXPECT_EQ(pnp_->UsageNotification(node, DeviceUsageTypePaging, TRUE), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_PNP, IRP_MN_DEVICE_USAGE_NOTIFICATION), 1u);
  EXPECT_EQ((node->Filter->Flags & DO_POWER_PAGABLE) != 0, c.expected);
  // The completion routine let go of the remove lock: the removal does not wait.
  EXPECT_EQ(pnp_->Remove(node), STATUS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageNotification,
    ::testing::Values(UsageCase{"BothPagable", true, true, false, true},
                      UsageCase{"BelowNotPagable", true, false, false, false},
                      UsageCase{"AboveNotPagable", false, true, false, true},
                      UsageCase{"NeitherPagable", false, false, false, false},
                      UsageCase{"BelowCompletesLater", true, true, true, true},
                      UsageCase{"BelowCompletesLaterNotPagable", true, false, true, false}),
    [](const ::testing::TestParamInfo<UsageCase>& p) { return std::string(p.param.name); });

TEST_F(PassThrough, UsageNotificationWithNothingAboveSetsPowerPagable) {
  FunctionOptions options;
  options.NoFunctionDriver = true;
  DeviceNode* node = AddStarted(options);
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->Filter->AttachedDevice, nullptr);
  node->Filter->Flags &= ~DO_POWER_PAGABLE;
  EXPECT_EQ(pnp_->UsageNotification(node, DeviceUsageTypePaging, TRUE), STATUS_SUCCESS);
  EXPECT_TRUE(node->Filter->Flags & DO_POWER_PAGABLE);
}

class ControlDeviceRequests : public FilterTest {};

TEST_F(ControlDeviceRequests, OpenCloseAndUnknownCodesSucceedWhileBound) {
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  std::unique_ptr<vrnke_sim::UserHandle> handle;
  ASSERT_EQ(vrnke_sim::UserHandle::Open(kUserPath, GENERIC_READ | GENERIC_WRITE, &handle), STATUS_SUCCESS);
  UCHAR buffer[16];
  memset(buffer, 0xCD, sizeof(buffer));
  ULONG_PTR returned = 5;
  EXPECT_EQ(handle->DeviceIoControl(0x80014000, buffer, sizeof(buffer), buffer, sizeof(buffer), &returned),
            STATUS_SUCCESS);
  EXPECT_EQ(returned, 0u);
  handle->Close();
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_CREATE), 0u) << "the control device interprets opens itself";
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_DEVICE_CONTROL), 0u);
}

struct ControlMajorCase {
  UCHAR major;
  UCHAR minor;
  const char* name;
};

class ControlDeviceOtherMajors : public FilterTest, public ::testing::WithParamInterface<ControlMajorCase> {};

// The control device has no device below: other requests are completed, never passed on.
TEST_P(ControlDeviceOtherMajors, AreCompletedNotPassedDown) {
  DeviceNode* node = AddStarted();
  ASSERT_NE(node, nullptr);
  ASSERT_NE(ControlDevice, nullptr);
  node->Kbd->ClearReceived();
  vrnke_sim::SyncResult r =
      vrnke_sim::SendSync(ControlDevice, GetParam().major, GetParam().minor, nullptr, false);
  EXPECT_NE(r.status, STATUS_PENDING);
  if (GetParam().major == IRP_MJ_PNP) {
    EXPECT_EQ(r.status, STATUS_NOT_SUPPORTED);
  } else if (GetParam().major == IRP_MJ_POWER) {
    EXPECT_EQ(r.status, STATUS_SUCCESS);
  } else {
    EXPECT_EQ(r.status, STATUS_INVALID_DEVICE_REQUEST);
  }
  EXPECT_EQ(r.dispatchReturned, r.status);
  EXPECT_TRUE(node->Kbd->Received().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ControlDeviceOtherMajors,
    ::testing::Values(ControlMajorCase{IRP_MJ_READ, 0, "Read"}, ControlMajorCase{IRP_MJ_WRITE, 0, "Write"},
                      ControlMajorCase{IRP_MJ_INTERNAL_DEVICE_CONTROL, 0, "InternalDeviceControl"},
                      ControlMajorCase{IRP_MJ_FLUSH_BUFFERS, 0, "FlushBuffers"},
                      ControlMajorCase{IRP_MJ_PNP, IRP_MN_QUERY_CAPABILITIES, "Pnp"},
                      ControlMajorCase{IRP_MJ_POWER, IRP_MN_QUERY_POWER, "Power"}),
    [](const ::testing::TestParamInfo<ControlMajorCase>& p) { return std::string(p.param.name); });

TEST_F(ControlDeviceRequests, InterruptTransfersPassThroughTheFilter) {
  FunctionOptions options;
  options.BufferLength = 300;
  DeviceNode* node = AddStarted(options);
  ASSERT_NE(node, nullptr);
  Bytes report(300);
  for (size_t i = 0; i < report.size(); ++i) report[i] = static_cast<UCHAR>(i);
  ASSERT_TRUE(node->Kbd->CompleteTransfer(report));
  ASSERT_TRUE(node->Kbd->CompleteTransfer(Bytes{}, STATUS_CANCELLED, USBD_STATUS_CANCELED));
  auto reports = node->Function->Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].Data, report);
  EXPECT_EQ(reports[1].Status, STATUS_CANCELLED);
  EXPECT_EQ(reports[1].Length, 0u);
}

}  // namespace
}  // namespace vrnkeflt_test
