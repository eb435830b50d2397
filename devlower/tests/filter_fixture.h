// Test fixture for the filter on the simulated keyboard stack, with the verifier on.
#pragma once

#include <gtest/gtest.h>
#include <usbkbd/usbkbd.h>
#include <vrnke_sim/sim.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "vrnkeflt.h"

namespace vrnkeflt_test {

using usbkbd::Bytes;
using usbkbd::DeviceNode;
using usbkbd::FunctionOptions;
using usbkbd::PnpManager;

inline const wchar_t* const kDeviceName = L"\\Device\\vrnkeflt";
inline const wchar_t* const kLinkName = L"\\DosDevices\\vrnkeflt";
inline const wchar_t* const kUserPath = L"\\\\.\\vrnkeflt";

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vrnke_sim::Reset();
    declaredFor_ = nullptr;
    vrnke_sim::SetFindingHook([](const vrnke_sim::Finding& f) {
      ADD_FAILURE() << "verifier: " << vrnke_sim::CheckName(f.check) << ": " << f.message;
    });
    pnp_ = std::make_unique<PnpManager>(DriverEntry);
    ASSERT_NE(pnp_->FilterDriver(), nullptr);
    ASSERT_EQ(pnp_->FilterEntryStatus(), STATUS_SUCCESS);
  }

  void TearDown() override {
    // Removes what is left and unloads the filter, which checks for leaks.
    pnp_.reset();
    EXPECT_TRUE(vrnke_sim::Findings().empty());
    vrnke_sim::Reset();
  }

  DeviceNode* AddStarted(const FunctionOptions& options = FunctionOptions()) {
    DeviceNode* node = pnp_->AddKeyboard(options);
    EXPECT_NE(node, nullptr);
    if (node == nullptr) return nullptr;
    EXPECT_EQ(pnp_->Start(node), STATUS_SUCCESS);
    DeclareLockOrder();
    return node;
  }

  // The driver takes the read queue's lock only inside ReportLock; the verifier checks that
  // order once the control device (and its locks) exists.
  static void DeclareLockOrder() {
    PCONTROL_EXTENSION control = ControlExt();
    if (control == nullptr || control == declaredFor_) return;
    vrnke_sim::DeclareLockOrder(&control->ReportLock, &control->QueueLock, "ReportLock", "QueueLock");
    declaredFor_ = control;
  }

  static PFILTER_EXTENSION Ext(const DeviceNode* node) { return VrnkeFilterExtension(node->Filter); }
  static PCONTROL_EXTENSION ControlExt() {
    return ControlDevice == nullptr ? nullptr
                                    : static_cast<PCONTROL_EXTENSION>(ControlDevice->DeviceExtension);
  }

  // Waits (bounded by a count of short sleeps) until pred holds.
  template <typename Pred>
  static bool Eventually(Pred pred) {
    for (int i = 0; i < 20000; ++i) {
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return pred();
  }

  std::unique_ptr<PnpManager> pnp_;
  static inline PCONTROL_EXTENSION declaredFor_ = nullptr;
};

}  // namespace vrnkeflt_test
