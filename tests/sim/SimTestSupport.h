// Fixture for tests that talk to the simulated unit through the backend seam, as the core does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "sim/Sim.h"
#include "sim/SimUnit.h"
#include "usb/Backend.h"

namespace simtest {

using namespace std::chrono_literals;

class SimUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Unit().Reset();
    Unit().SetLogging(true);
    Unit().SetControlLatency(0us);
    backend = sim::CreateBackend();
    ASSERT_EQ(backend->Open(device), usb::OpenResult::Ok);
  }
  void TearDown() override { Unit().Reset(); }

  static sim::Unit& Unit() { return sim::Unit::Instance(); }

  bool In(uint8_t request, uint16_t value, uint16_t index, std::vector<uint8_t>& data) {
    usb::SetupPacket s{usb::kVendorIn, request, value, index, static_cast<uint16_t>(data.size())};
    return device->ControlTransfer(s, data.data());
  }
  bool Out(uint8_t request, uint16_t value, uint16_t index, std::vector<uint8_t> data) {
    usb::SetupPacket s{usb::kVendorOut, request, value, index, static_cast<uint16_t>(data.size())};
    return device->ControlTransfer(s, data.data());
  }
  bool ReadReg(uint16_t n, uint16_t& value) {
    std::vector<uint8_t> d(2);
    if (!In(0x18, 0, n, d)) return false;
    value = static_cast<uint16_t>(d[0] << 8 | d[1]);
    return true;
  }
  uint16_t Reg(uint16_t n) {
    uint16_t v = 0xDEAD;
    EXPECT_TRUE(ReadReg(n, v)) << "register " << n;
    return v;
  }
  bool WriteReg(uint16_t n, uint16_t v) {
    return Out(0x19, 0, n, {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)});
  }
  std::vector<uint8_t> Status() {
    std::vector<uint8_t> s(16);
    EXPECT_TRUE(In(0x12, 0, 0, s));
    return s;
  }
  // Polls until done() holds or the limit passes; true when it held.
  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(2ms);
    }
    return done();
  }
  // Reads one whole frame; empty when none arrived within the limit.
  std::vector<uint8_t> ReadFrame(int waitMs = 3000) {
    std::vector<uint8_t> buffer(1 << 20);
    if (!device->SubmitRead(buffer.data(), static_cast<uint32_t>(buffer.size()))) return {};
    uint32_t got = 0;
    if (device->PollRead(got, waitMs) != usb::ReadState::Done) {
      device->AbortRead();
      return {};
    }
    buffer.resize(got);
    return buffer;
  }

  std::unique_ptr<usb::Backend> backend;
  std::unique_ptr<usb::Device> device;
};

inline uint16_t Word(const std::vector<uint8_t>& frame, size_t pixel, int word) {
  const size_t at = pixel * 4 + word * 2;
  return static_cast<uint16_t>(frame[at] | frame[at + 1] << 8);
}

}  // namespace simtest
