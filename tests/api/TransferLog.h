// Views of the simulated unit's transfer log for tests that assert what crossed the bus.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/SimUnit.h"

namespace qeltest {

using Bytes = std::vector<uint8_t>;

// Request codes as they appear in the log.
constexpr uint8_t kEepromRead = 0x16;
constexpr uint8_t kEepromWrite = 0x17;
constexpr uint8_t kRegRead = 0x18;
constexpr uint8_t kRegWrite = 0x19;

// The logged transfers of one request code, in bus order.
inline std::vector<sim::TransferRecord> OfRequest(uint8_t request) {
  std::vector<sim::TransferRecord> out;
  for (const sim::TransferRecord& r : sim::Unit::Instance().Log()) {
    if (r.setup.request == request) out.push_back(r);
  }
  return out;
}

// Setup index fields of the logged transfers of one request code.
inline std::vector<uint16_t> IndicesOf(uint8_t request) {
  std::vector<uint16_t> out;
  for (const sim::TransferRecord& r : OfRequest(request)) out.push_back(r.setup.index);
  return out;
}

}  // namespace qeltest
