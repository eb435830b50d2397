// The simulated keyboard stack on its own (no filter), before the driver's tests rely on it.
#include <gtest/gtest.h>
#include <usbkbd/usbkbd.h>
#include <vrnke_sim/sim.h>

#include <cstring>
#include <thread>

namespace {

using usbkbd::Bytes;
using usbkbd::FunctionOptions;
using usbkbd::PnpManager;

class UsbKbdStack : public ::testing::Test {
 protected:
  void SetUp() override {
    vrnke_sim::Reset();
    vrnke_sim::SetFindingHook([](const vrnke_sim::Finding& f) {
      ADD_FAILURE() << "verifier: " << vrnke_sim::CheckName(f.check) << ": " << f.message;
    });
  }
  void TearDown() override {
    EXPECT_TRUE(vrnke_sim::Findings().empty());
    vrnke_sim::Reset();
  }
};

Bytes Pattern(size_t n, UCHAR seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<UCHAR>(seed + i);
  return b;
}

TEST_F(UsbKbdStack, StartPostsTransfersAndReportsTravelUp) {
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Filter, nullptr);
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->PendingTransfers(), 2u);

  const Bytes report = Pattern(8, 0x10);
  ASSERT_TRUE(node->Kbd->CompleteTransfer(report));
  auto reports = node->Function->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Status, STATUS_SUCCESS);
  EXPECT_EQ(reports[0].Length, 8u);
  EXPECT_EQ(reports[0].Data, report);
  // As from a host controller's DPC: another thread, DISPATCH_LEVEL.
  EXPECT_EQ(reports[0].Irql, DISPATCH_LEVEL);
  EXPECT_NE(reports[0].Thread, std::this_thread::get_id());
  // The function driver posted the transfer again.
  EXPECT_EQ(node->Kbd->PendingTransfers(), 2u);
  EXPECT_EQ(pnp.Remove(node), STATUS_SUCCESS);
}

struct CompletionCase {
  const char* name;
  FunctionOptions options;
  Bytes report;
  ULONG length;
  NTSTATUS status;
  USBD_STATUS usbStatus;
  ULONG expectLength;
};

class UsbKbdCompletion : public UsbKbdStack, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(UsbKbdCompletion, FunctionDriverSeesWhatTheDeviceCompleted) {
  const CompletionCase& c = GetParam();
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard(c.options);
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  ASSERT_TRUE(node->Kbd->CompleteTransferWithLength(c.report, c.length, c.status, c.usbStatus));
  auto reports = node->Function->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Status, c.status);
  EXPECT_EQ(reports[0].UsbStatus, c.usbStatus);
  EXPECT_EQ(reports[0].Length, c.expectLength);
  Bytes expect(c.report.begin(), c.report.begin() + std::min<size_t>(c.expectLength, c.report.size()));
  EXPECT_EQ(reports[0].Data, expect);
}

FunctionOptions Opts(ULONG bufferLength, bool mdlOnly) {
  FunctionOptions o;
  o.BufferLength = bufferLength;
  o.MdlOnly = mdlOnly;
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbKbdCompletion,
    ::testing::Values(
        CompletionCase{"Short", Opts(8, false), Pattern(3, 1), 3, STATUS_SUCCESS, USBD_STATUS_SUCCESS, 3},
        CompletionCase{"ZeroLength", Opts(8, false), Bytes{}, 0, STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0},
        CompletionCase{"Cancelled", Opts(8, false), Bytes{}, 0, STATUS_CANCELLED, USBD_STATUS_CANCELED, 0},
        CompletionCase{"MdlOnly", Opts(8, true), Pattern(8, 7), 8, STATUS_SUCCESS, USBD_STATUS_SUCCESS, 8},
        CompletionCase{"Above255", Opts(512, false), Pattern(300, 9), 300, STATUS_SUCCESS,
                       USBD_STATUS_SUCCESS, 300},
        // The device never reports more than the buffer holds.
        CompletionCase{"ClampedToBuffer", Opts(8, false), Pattern(8, 2), 40, STATUS_SUCCESS,
                       USBD_STATUS_SUCCESS, 8}),
    [](const ::testing::TestParamInfo<CompletionCase>& p) { return std::string(p.param.name); });

TEST_F(UsbKbdStack, TransfersDescribedOnlyByAnMdlCarryNoBufferPointer) {
  PnpManager pnp(nullptr);
  FunctionOptions o;
  o.MdlOnly = true;
  auto* node = pnp.AddKeyboard(o);
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  auto received = node->Kbd->Received();
  int transfers = 0;
  for (const auto& r : received) {
    if (r.Major != IRP_MJ_INTERNAL_DEVICE_CONTROL) continue;
    auto* urb = static_cast<PURB>(r.Argument1);
    EXPECT_EQ(urb->UrbHeader.Function, URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER);
    EXPECT_EQ(urb->UrbBulkOrInterruptTransfer.TransferBuffer, nullptr);
    EXPECT_NE(urb->UrbBulkOrInterruptTransfer.TransferBufferMDL, nullptr);
    ++transfers;
  }
  EXPECT_EQ(transfers, 2);
}

TEST_F(UsbKbdStack, StopCancelsTransfersAndRestartPostsThemAgain) {
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard();
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  ASSERT_EQ(pnp.QueryStop(node), STATUS_SUCCESS);
  ASSERT_EQ(pnp.Stop(node), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->PendingTransfers(), 0u);
  EXPECT_EQ(node->Function->Outstanding(), 0);
  auto reports = node->Function->Reports();
  ASSERT_EQ(reports.size(), 2u);
  for (const auto& r : reports) EXPECT_EQ(r.Status, STATUS_CANCELLED);

  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->PendingTransfers(), 2u);
  EXPECT_EQ(pnp.Remove(node), STATUS_SUCCESS);
  EXPECT_TRUE(node->Kbd->Removed());
}

TEST_F(UsbKbdStack, StartCompletedLaterFromTheDeviceThread) {
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard();
  node->Kbd->SetStart(STATUS_SUCCESS, true);
  EXPECT_EQ(pnp.Start(node), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->PendingTransfers(), 2u);

  auto* failing = pnp.AddKeyboard();
  failing->Kbd->SetStart(STATUS_DEVICE_NOT_READY, true);
  EXPECT_EQ(pnp.Start(failing), STATUS_DEVICE_NOT_READY);
  EXPECT_EQ(failing->Kbd->PendingTransfers(), 0u);
}

// Sends one control transfer on the default pipe straight to the physical device.
NTSTATUS SendControl(PnpManager& pnp, PDEVICE_OBJECT pdo, const UCHAR setup[8], ULONG flags, PUCHAR buffer,
                     ULONG* length, USBD_STATUS* usbStatus) {
  URB urb;
  memset(&urb, 0, sizeof(urb));
  auto& c = urb.UrbControlTransfer;
  c.Hdr.Length = sizeof(struct _URB_CONTROL_TRANSFER);
  c.Hdr.Function = URB_FUNCTION_CONTROL_TRANSFER;
  c.TransferFlags = flags;
  c.TransferBufferLength = *length;
  c.TransferBuffer = buffer;
  memcpy(c.SetupPacket, setup, 8);
  NTSTATUS status = pnp.Send(pdo, IRP_MJ_INTERNAL_DEVICE_CONTROL, 0, [&](PIRP, PIO_STACK_LOCATION s) {
    s->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    s->Parameters.Others.Argument1 = &urb;
  });
  *length = c.TransferBufferLength;
  *usbStatus = c.Hdr.Status;
  return status;
}

TEST_F(UsbKbdStack, ControlTransfersAreRecordedAndAnswered) {
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard();
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  PDEVICE_OBJECT pdo = node->Kbd->Pdo();

  const UCHAR setOut[8] = {0x21, 0x09, 0x00, 0x02, 0x00, 0x00, 0x03, 0x00};
  UCHAR out[3] = {0xAA, 0xBB, 0xCC};
  ULONG length = 3;
  USBD_STATUS usb = 0;
  EXPECT_EQ(SendControl(pnp, pdo, setOut, USBD_DEFAULT_PIPE_TRANSFER, out, &length, &usb), STATUS_SUCCESS);

  node->Kbd->SetControlAnswer(STATUS_SUCCESS, Bytes{1, 2, 3, 4});
  const UCHAR getIn[8] = {0xA1, 0x01, 0x00, 0x01, 0x00, 0x00, 0x08, 0x00};
  UCHAR in[8] = {};
  length = 8;
  EXPECT_EQ(SendControl(pnp, pdo, getIn,
                        USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK | USBD_DEFAULT_PIPE_TRANSFER, in,
                        &length, &usb),
            STATUS_SUCCESS);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(in[0], 1);
  EXPECT_EQ(in[3], 4);

  node->Kbd->SetControlAnswer(STATUS_UNSUCCESSFUL, Bytes{9, 9}, USBD_STATUS_STALL_PID);
  memset(in, 0, sizeof(in));
  length = 8;
  EXPECT_EQ(SendControl(pnp, pdo, getIn, USBD_TRANSFER_DIRECTION_IN | USBD_DEFAULT_PIPE_TRANSFER, in, &length,
                        &usb),
            STATUS_UNSUCCESSFUL);
  EXPECT_EQ(usb, USBD_STATUS_STALL_PID);
  EXPECT_EQ(in[0], 0);

  auto transfers = node->Kbd->ControlTransfers();
  ASSERT_EQ(transfers.size(), 3u);
  EXPECT_EQ(0, memcmp(transfers[0].Setup, setOut, 8));
  EXPECT_EQ(transfers[0].DataOut, (Bytes{0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(transfers[0].TransferFlags, static_cast<ULONG>(USBD_DEFAULT_PIPE_TRANSFER));
  EXPECT_EQ(0, memcmp(transfers[1].Setup, getIn, 8));
  EXPECT_TRUE(transfers[1].DataOut.empty());
  EXPECT_EQ(transfers[1].Length, 8u);
}

TEST_F(UsbKbdStack, SeveralKeyboardsKeepTheirReportsApart) {
  PnpManager pnp(nullptr);
  usbkbd::DeviceNode* nodes[3];
  for (auto*& n : nodes) {
    n = pnp.AddKeyboard();
    ASSERT_EQ(pnp.Start(n), STATUS_SUCCESS);
  }
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k <= i; ++k)
      ASSERT_TRUE(nodes[i]->Kbd->CompleteTransfer(Pattern(8, static_cast<UCHAR>(i))));
  }
  for (int i = 0; i < 3; ++i) {
    auto reports = nodes[i]->Function->Reports();
    ASSERT_EQ(reports.size(), static_cast<size_t>(i + 1));
    for (const auto& r : reports) EXPECT_EQ(r.Data[0], i);
  }
  EXPECT_EQ(pnp.Remove(nodes[1]), STATUS_SUCCESS);
  EXPECT_TRUE(nodes[0]->Kbd->CompleteTransfer(Pattern(8, 0)));
}

TEST_F(UsbKbdStack, SurpriseRemovalFailsTransfersUntilRemoval) {
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard();
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  ASSERT_EQ(pnp.SurpriseRemove(node), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->PendingTransfers(), 0u);
  EXPECT_EQ(node->Function->Outstanding(), 0);
  EXPECT_FALSE(node->Kbd->CompleteTransfer(Pattern(8, 0)));
  EXPECT_EQ(pnp.Remove(node), STATUS_SUCCESS);
}

TEST_F(UsbKbdStack, HeldRequestWaitsInsideTheDevice) {
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard();
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  node->Kbd->Hold(IRP_MJ_READ);
  NTSTATUS result = STATUS_PENDING;
  std::thread reader([&] { result = node->Function->SendDown(IRP_MJ_READ); });
  node->Kbd->WaitHeld();
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_READ), 1u);
  node->Kbd->Release();
  reader.join();
  EXPECT_EQ(result, STATUS_SUCCESS);
}

TEST_F(UsbKbdStack, PowerAndOtherRequestsReachTheDevice) {
  PnpManager pnp(nullptr);
  auto* node = pnp.AddKeyboard();
  ASSERT_EQ(pnp.Start(node), STATUS_SUCCESS);
  POWER_STATE state;
  state.DeviceState = PowerDeviceD2;
  EXPECT_EQ(pnp.Power(node, IRP_MN_SET_POWER, DevicePowerState, state), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_POWER, IRP_MN_SET_POWER), 1u);
  EXPECT_EQ(node->Function->SendDown(IRP_MJ_FLUSH_BUFFERS), STATUS_SUCCESS);
  EXPECT_EQ(node->Kbd->CountReceived(IRP_MJ_FLUSH_BUFFERS), 1u);
}

}  // namespace
