// Several threads send requests through the filter while keyboards come and go. Bounded by a
// round count; run under ThreadSanitizer by the tsan preset.
#include <vrnkeclient/sim_device.h>

#include "filter_fixture.h"

namespace vrnkeflt_test {
namespace {

constexpr int kSlots = 3;
constexpr int kSenders = 3;
constexpr int kRounds = 2000;  // each round takes one keyboard through a lifecycle and replaces it

bool Allowed(NTSTATUS s) {
  return s == STATUS_SUCCESS || s == STATUS_DELETE_PENDING || s == STATUS_DEVICE_REMOVED;
}

class Stress : public FilterTest {};

struct StopAndJoin {
  std::atomic<bool>& stop;
  std::vector<std::thread>& threads;
  void Now() {
    stop = true;
    for (auto& th : threads)
      if (th.joinable()) th.join();
  }
  ~StopAndJoin() { Now(); }
};

TEST_F(Stress, PassThroughWhileKeyboardsStartSurpriseRemoveAndRemove) {
  std::atomic<usbkbd::FunctionDevice*> functions[kSlots];
  std::atomic<usbkbd::Keyboard*> keyboards[kSlots];
  DeviceNode* nodes[kSlots] = {};
  for (int i = 0; i < kSlots; ++i) {
    nodes[i] = AddStarted();
    ASSERT_NE(nodes[i], nullptr);
    functions[i] = nodes[i]->Function;
    keyboards[i] = nodes[i]->Kbd;
  }

  std::atomic<bool> stop{false};
  std::atomic<long> sent{0}, passed{0}, unexpected{0};
  const UCHAR majors[] = {IRP_MJ_READ, IRP_MJ_WRITE, IRP_MJ_DEVICE_CONTROL, IRP_MJ_FLUSH_BUFFERS,
                          IRP_MJ_SYSTEM_CONTROL};
  std::vector<std::thread> threads;
  for (int t = 0; t < kSenders; ++t) {
    threads.emplace_back([&, t] {
      unsigned k = static_cast<unsigned>(t);
      while (!stop.load()) {
        usbkbd::FunctionDevice* f = functions[k % kSlots].load();
        NTSTATUS s = f->SendDown(majors[k % (sizeof(majors) / sizeof(majors[0]))]);
        ++sent;
        if (s == STATUS_SUCCESS) ++passed;
        if (!Allowed(s)) ++unexpected;
        ++k;
        // Two cores are shared by everything: leave the PnP thread its turn.
        std::this_thread::yield();
      }
    });
  }
  // A failed assertion below returns early: the threads are stopped and joined first, so the
  // test fails cleanly instead of ending the process.
  StopAndJoin joiner{stop, threads};
  // Reports keep arriving on the keyboards' own threads meanwhile.
  threads.emplace_back([&] {
    unsigned k = 0;
    while (!stop.load()) {
      keyboards[k % kSlots].load()->CompleteTransfer(Bytes{static_cast<UCHAR>(k), 0, 4});
      ++k;
      std::this_thread::yield();
    }
  });

  for (int round = 0; round < kRounds; ++round) {
    const int slot = round % kSlots;
    DeviceNode* node = nodes[slot];
    switch (round % 4) {
      case 0:
        ASSERT_EQ(pnp_->SurpriseRemove(node), STATUS_SUCCESS);
        break;
      case 1:
        ASSERT_EQ(pnp_->QueryStop(node), STATUS_SUCCESS);
        ASSERT_EQ(pnp_->Stop(node), STATUS_SUCCESS);
        ASSERT_EQ(pnp_->Start(node), STATUS_SUCCESS);
        break;
      case 2:
        ASSERT_EQ(pnp_->QueryRemove(node), STATUS_SUCCESS);
        break;
      default:
        break;
    }
    ASSERT_EQ(pnp_->Remove(node), STATUS_SUCCESS);
    DeviceNode* fresh = AddStarted();
    ASSERT_NE(fresh, nullptr);
    nodes[slot] = fresh;
    functions[slot] = fresh->Function;
    keyboards[slot] = fresh->Kbd;
    ASSERT_EQ(InstanceCount, static_cast<ULONG>(kSlots));
    ASSERT_NE(__atomic_load_n(&ControlDevice, __ATOMIC_ACQUIRE), nullptr);
  }

  // Let the senders overlap the last keyboards for a while, bounded by a request count.
  const long target = sent.load() + 200;
  while (sent.load() < target) std::this_thread::yield();
  joiner.Now();

  RecordProperty("requests", static_cast<int>(sent.load()));
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_GT(passed.load(), 0);
  for (DeviceNode* n : nodes) ASSERT_EQ(pnp_->Remove(n), STATUS_SUCCESS);
  EXPECT_EQ(InstanceCount, 0u);
  EXPECT_EQ(ControlDevice, nullptr);
  pnp_->UnloadFilter();
  EXPECT_TRUE(vrnke_sim::Findings().empty());
}

// Different device nodes are started and removed by the system at the same time: the control
// device's creation, deletion and binding must stay consistent under ControlMutex.
TEST_F(Stress, KeyboardsComeAndGoOnSeveralPnpThreadsAtOnce) {
  constexpr int kPnpThreads = 2;
  constexpr int kCycles = 400;
  std::atomic<int> missingControl{0}, failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kPnpThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCycles; ++i) {
        DeviceNode* node = pnp_->AddKeyboard();
        if (node == nullptr || pnp_->Start(node) != STATUS_SUCCESS) {
          ++failures;
          continue;
        }
        // While this instance is counted the control device must exist.
        if (__atomic_load_n(&ControlDevice, __ATOMIC_ACQUIRE) == nullptr) ++missingControl;
        if ((i + t) % 3 == 0) {
          if (pnp_->QueryStop(node) != STATUS_SUCCESS || pnp_->Stop(node) != STATUS_SUCCESS ||
              pnp_->Start(node) != STATUS_SUCCESS) {
            ++failures;
          }
        }
        if ((i + t) % 5 == 0 && pnp_->SurpriseRemove(node) != STATUS_SUCCESS) ++failures;
        if (pnp_->Remove(node) != STATUS_SUCCESS) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(missingControl.load(), 0);
  EXPECT_EQ(InstanceCount, 0u);
  EXPECT_EQ(ControlDevice, nullptr);
  EXPECT_EQ(BoundFilterDevice, nullptr);
  EXPECT_FALSE(vrnke_sim::SymbolicLinkExists(kLinkName));
  pnp_->UnloadFilter();
  EXPECT_TRUE(vrnke_sim::Findings().empty());
}

// Reports from several keyboards on their own threads while a client loads tables, reads,
// cancels reads and sends feature reports, and keyboards are surprise-removed and replaced.
TEST_F(Stress, ReportsAndTheControlInterfaceWhileKeyboardsAreSurpriseRemoved) {
  namespace st = vrnkeclient::status;
  std::atomic<usbkbd::Keyboard*> keyboards[kSlots];
  DeviceNode* nodes[kSlots] = {};
  for (int i = 0; i < kSlots; ++i) {
    nodes[i] = AddStarted();
    ASSERT_NE(nodes[i], nullptr);
    keyboards[i] = nodes[i]->Kbd;
  }
  vrnkeclient::Pattern press, release;
  press.length = release.length = 3;
  press.kind = VRNKEFLT_KIND_PRESS;
  press.mask[0] = release.mask[0] = 1;
  press.value[0] = 1;
  press.remember = 1;
  press.action = VRNKEFLT_ACTION_REWRITE_AND_RECORD;
  press.replacement[0] = 5;
  press.identifier = 7;
  release.action = VRNKEFLT_ACTION_RECORD;
  release.identifier = 9;

  std::atomic<bool> stop{false};
  std::atomic<long> records{0}, unexpected{0};
  std::vector<std::thread> threads;
  StopAndJoin joiner{stop, threads};
  for (int t = 0; t < kSlots; ++t) {
    threads.emplace_back([&, t] {
      for (UCHAR k = 0; !stop.load(); ++k) {
        keyboards[t].load()->CompleteTransfer(Bytes{static_cast<UCHAR>(k & 1), k, 4});
        std::this_thread::yield();
      }
    });
  }
  // The client: one handle per request kind, as several threads of a program would have.
  auto client = [&](auto body) {
    threads.emplace_back([&, body] {
      auto device = vrnkeclient::SimDevice::Open(GENERIC_READ | GENERIC_WRITE, nullptr);
      if (!device) {
        ++unexpected;
        return;
      }
      vrnkeclient::Client c(std::move(device));
      for (unsigned k = 0; !stop.load(); ++k) body(c, k);
    });
  };
  client([&](vrnkeclient::Client& c, unsigned k) {
    if (c.LoadPatterns(k & 1 ? std::vector<vrnkeclient::Pattern>{press, release}
                             : std::vector<vrnkeclient::Pattern>{release, press}) != st::kSuccess)
      ++unexpected;
  });
  client([&](vrnkeclient::Client& c, unsigned k) {
    auto read = c.StartRead();
    if (k % 3 == 0) read->Cancel();
    if (!read->Wait(std::chrono::seconds(5))) {
      read->Cancel();
      read->Wait(std::chrono::seconds(5));
    }
    uint32_t s = read->Status();
    if (s == st::kSuccess) {
      records += static_cast<long>(read->Records().size());
    } else if (s != st::kCancelled) {
      ++unexpected;
    }
  });
  client([&](vrnkeclient::Client& c, unsigned k) {
    uint32_t s = c.ExchangeFeature(static_cast<uint16_t>(3 + k % 3), {1, 2}, 2).status;
    if (s != st::kSuccess && s != st::kDeviceBusy) ++unexpected;
  });

  for (int round = 0; round < 60 && !HasFailure(); ++round) {
    const int slot = round % kSlots;
    // The bound keyboard stays: the control interface needs it; the others come and go.
    if (nodes[slot]->Filter == __atomic_load_n(&BoundFilterDevice, __ATOMIC_ACQUIRE)) continue;
    ASSERT_EQ(pnp_->SurpriseRemove(nodes[slot]), STATUS_SUCCESS);
    ASSERT_EQ(pnp_->Remove(nodes[slot]), STATUS_SUCCESS);
    nodes[slot] = AddStarted();
    ASSERT_NE(nodes[slot], nullptr);
    keyboards[slot] = nodes[slot]->Kbd;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  joiner.Now();
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_GT(records.load(), 0);
  for (DeviceNode* n : nodes) ASSERT_EQ(pnp_->Remove(n), STATUS_SUCCESS);
  pnp_->UnloadFilter();
  EXPECT_TRUE(vrnke_sim::Findings().empty());
}

}  // namespace
}  // namespace vrnkeflt_test
