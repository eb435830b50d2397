// Many threads through the simulated stack at once: requests completed from DPC threads, some
// cancelled while they complete, spin locks in a declared order. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "vrnke_sim/gtest_verifier.h"
#include "vrnke_testing/fake_stack.h"

namespace {

class SimStress : public vrnke_sim::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    fake::BusDriver = fake::FilterDriver = nullptr;
    fake::FilterFault = fake::Fault::None;
  }
};

TEST_F(SimStress, ConcurrentRequestsCancelsAndLocksStayConsistent) {
  vrnke_sim::SetProcessorCount(3);
  fake::Stack stack;
  stack.Build();
  fake::Bus(stack.pdo)->async = true;
  KSPIN_LOCK outer, inner;
  KeInitializeSpinLock(&outer);
  KeInitializeSpinLock(&inner);
  vrnke_sim::DeclareLockOrder(&outer, &inner, "outer", "inner");
  long shared = 0;
  std::atomic<int> cancelled{0}, succeeded{0};
  constexpr int kThreads = 4, kRounds = 300;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::minstd_rand rng(t + 1);
      for (int i = 0; i < kRounds && std::chrono::steady_clock::now() < deadline; ++i) {
        fake::Request r;
        fake::Send(&r, stack.pdo);
        if (rng() % 3 == 0) IoCancelIrp(r.irp);  // races with the DPC's completion
        KIRQL a, b;
        KeAcquireSpinLock(&outer, &a);
        KeAcquireSpinLock(&inner, &b);
        ++shared;
        KeReleaseSpinLock(&inner, b);
        KeReleaseSpinLock(&outer, a);
        ASSERT_TRUE(fake::Finish(&r, 10000));
        (r.status == STATUS_CANCELLED ? cancelled : succeeded)++;
      }
    });
  }
  for (auto& th : threads) th.join();
  vrnke_sim::WaitIdle();
  EXPECT_EQ(shared, (long)(cancelled + succeeded));
  EXPECT_EQ(fake::Filter(stack.filter)->completions, cancelled + succeeded);
  EXPECT_GT(succeeded, 0);
  stack.Remove();
  vrnke_sim::UnloadDriver(fake::FilterDriver);
  EXPECT_TRUE(vrnke_sim::Findings().empty());
}

}  // namespace
