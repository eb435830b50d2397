// The filter on a simulated keyboard, driven through the client library as a user-mode
// program drives it.
#pragma once

#include <vrnkeclient/sim_device.h>

#include <utility>
#include <vector>

#include "filter_fixture.h"

namespace vrnkeflt_test {

using vrnkeclient::Pattern;
using vrnkeclient::Record;
namespace st = vrnkeclient::status;

// A pattern whose mask is 1 at the given positions, each replaced by its value + 0x10.
inline Pattern MakePattern(uint8_t length, uint8_t kind, std::vector<std::pair<int, uint8_t>> masked,
                           uint8_t action, uint16_t identifier, uint8_t remember = 0) {
  Pattern p;
  p.length = length;
  p.kind = kind;
  p.action = action;
  p.identifier = identifier;
  p.remember = remember;
  for (auto [at, value] : masked) {
    p.mask[at] = 1;
    p.value[at] = value;
    p.replacement[at] = static_cast<uint8_t>(value + 0x10);
  }
  return p;
}

class ClientTest : public FilterTest {
 protected:
  void SetUp() override {
    FilterTest::SetUp();
    StartKeyboard(FunctionOptions());
  }
  void TearDown() override {
    client_.reset();
    FilterTest::TearDown();
  }

  void StartKeyboard(const FunctionOptions& options) {
    node_ = AddStarted(options);
    ASSERT_NE(node_, nullptr);
    client_ = OpenClient(GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(client_, nullptr);
  }

  static std::unique_ptr<vrnkeclient::Client> OpenClient(ACCESS_MASK access, uint32_t* status = nullptr) {
    auto device = vrnkeclient::SimDevice::Open(access, status);
    if (!device) return nullptr;
    return std::make_unique<vrnkeclient::Client>(std::move(device));
  }

  static Pattern Make(uint8_t length, uint8_t kind, std::vector<std::pair<int, uint8_t>> masked,
                      uint8_t action, uint16_t identifier, uint8_t remember = 0) {
    return MakePattern(length, kind, std::move(masked), action, identifier, remember);
  }

  // Sends a report up from the keyboard; what the function driver received.
  Bytes Send(const Bytes& report) {
    size_t before = node_->Function->ReportCount();
    EXPECT_TRUE(node_->Kbd->CompleteTransfer(report));
    EXPECT_TRUE(Eventually([&] { return node_->Function->ReportCount() > before; }));
    return node_->Function->Reports().back().Data;
  }

  // Records already waiting, or none (a read that waits is cancelled).
  std::vector<Record> Drain() {
    std::vector<Record> records;
    auto read = client_->StartRead();
    if (!read->Wait(std::chrono::milliseconds(0))) {
      read->Cancel();
      EXPECT_TRUE(read->Wait(std::chrono::seconds(5)));
      EXPECT_EQ(read->Status(), st::kCancelled);
      return records;
    }
    EXPECT_EQ(read->Status(), st::kSuccess);
    return read->Records();
  }

  DeviceNode* node_ = nullptr;
  std::unique_ptr<vrnkeclient::Client> client_;
};

}  // namespace vrnkeflt_test
