// Test fixture: the library started on a freshly reset simulated unit, connected and logged.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "sim/SimUnit.h"

namespace qeltest {

// Polls pred every millisecond until it holds or timeoutMs passes; returns its last value.
template <typename Pred>
bool WaitFor(Pred pred, int timeoutMs = 2000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline bool Connected() {
  int status = 0;
  return QEL_GetStatus(&status) == 0 && status == 1;
}

inline int FrameIndex() {
  int index = 0;
  QEL_GetIndex(&index);
  return index;
}

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Unit::Instance().Reset();
    sim::Unit::Instance().SetLogging(true);
    ASSERT_EQ(QELSIM_Enable(1), 0);
    ASSERT_EQ(QEL_Init(), 0);
    ASSERT_TRUE(WaitFor(Connected)) << "the simulated unit did not connect";
    sim::Unit::Instance().ClearLog();
  }

  void TearDown() override {
    QEL_Term();
    sim::Unit::Instance().Reset();
  }

  sim::Unit& unit() { return sim::Unit::Instance(); }
};

}  // namespace qeltest
