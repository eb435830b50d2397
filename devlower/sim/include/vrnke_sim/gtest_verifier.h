// GoogleTest glue for the kernel verifier: findings fail the running test at the offending
// call, or are captured by tests that expect them.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "vrnke_sim/sim.h"

namespace vrnke_sim {

// Every finding from now on fails the running test (on whatever thread it is found).
inline void InstallFailingHook() {
  SetFindingHook([](const Finding& f) {
    ADD_FAILURE() << "kernel verifier: " << CheckName(f.check) << ": " << f.message;
  });
}

// Collects findings instead of failing the test while it lives; the failing hook is back after.
class CaptureFindings {
 public:
  CaptureFindings() {
    SetFindingHook([this](const Finding& f) {
      std::lock_guard<std::mutex> g(mu_);
      found_.push_back(f);
    });
  }
  ~CaptureFindings() { InstallFailingHook(); }
  CaptureFindings(const CaptureFindings&) = delete;
  CaptureFindings& operator=(const CaptureFindings&) = delete;

  std::vector<Finding> All() const {
    std::lock_guard<std::mutex> g(mu_);
    return found_;
  }
  size_t Count(Check check) const {
    std::lock_guard<std::mutex> g(mu_);
    size_t n = 0;
    for (auto& f : found_) n += f.check == check;
    return n;
  }
  bool Has(Check check) const { return Count(check) > 0; }
  // The first finding of that kind ("" when none).
  std::string Message(Check check) const {
    std::lock_guard<std::mutex> g(mu_);
    for (auto& f : found_)
      if (f.check == check) return f.message;
    return "";
  }
  std::string Text() const {
    std::lock_guard<std::mutex> g(mu_);
    std::string s;
    for (auto& f : found_) s += std::string(CheckName(f.check)) + ": " + f.message + "\n";
    return s;
  }

 private:
  mutable std::mutex mu_;
  std::vector<Finding> found_;
};

// Fixture base: a fresh simulation with the failing hook for every test.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    InstallFailingHook();
  }
  void TearDown() override {
    WaitIdle();
    Reset();
    SetFindingHook(nullptr);
  }
};

}  // namespace vrnke_sim
