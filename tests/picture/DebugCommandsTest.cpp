// The Debug dialog's commands against the simulated unit: what crosses the bus, the result
// texts, the EEPROM-ready wait and hostile field texts.
#include <gtest/gtest.h>

#include "tests/api/SimFixture.h"
#include "tests/api/TransferLog.h"
#include "viewer/picture/core/DebugCommands.h"

namespace picture {
namespace {

using qeltest::Bytes;
using qeltest::OfRequest;

constexpr uint8_t kStatusRequest = 0x12;
constexpr uint8_t kI2cReadRequest = 0x14;
constexpr uint8_t kI2cWriteRequest = 0x15;

class DebugCommands : public qeltest::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    fields = InitialDebugFields(kept);
  }

  DebugOutcome Run(int button) { return RunDebugCommand(button, fields, kept); }

  DebugKept kept;
  DebugFields fields;
};

TEST_F(DebugCommands, I2cWriteThenWriteReadOnTheBus) {
  fields[kIdSlaveAddr] = "D8";
  fields[kIdI2cData] = "10 aa,bb";
  fields[kIdI2cResult] = "old";
  EXPECT_EQ(Run(kIdI2cWrite), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdSlaveAddr], "58");
  EXPECT_EQ(fields[kIdI2cData], "10 AA BB ");
  EXPECT_EQ(fields[kIdI2cResult], "success.");
  auto writes = OfRequest(kI2cWriteRequest);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].setup.index, 0x58);
  EXPECT_EQ(writes[0].data, (Bytes{0x10, 0xAA, 0xBB}));

  // The register pointer, then two bytes back.
  fields[kIdI2cData] = "10";
  fields[kIdI2cSize] = "258";  // low byte 2
  EXPECT_EQ(Run(kIdI2cWriteRead), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdI2cSize], "2");
  EXPECT_EQ(fields[kIdI2cResult], "AA BB ");
  const auto reads = OfRequest(kI2cReadRequest);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].setup.length, 2);
  EXPECT_EQ(kept.readSize, 2);
}

TEST_F(DebugCommands, I2cFailuresNameTheFailingStep) {
  const struct {
    int button;
    uint8_t failing;
    const char* result;
  } cases[] = {
      {kIdI2cWrite, kI2cWriteRequest, "failed."},
      {kIdI2cRead, kI2cReadRequest, "failed."},
      {kIdI2cWriteRead, kI2cWriteRequest, "write failed."},
      {kIdI2cWriteRead, kI2cReadRequest, "read failed."},
  };
  for (const auto& c : cases) {
    unit().ClearFaults();
    unit().FailControl(0, 1, c.failing);
    fields[kIdI2cData] = "0";
    EXPECT_EQ(Run(c.button), DebugOutcome::Done);
    EXPECT_EQ(fields[kIdI2cResult], c.result) << c.button << " " << int(c.failing);
  }
  // An address nobody answers.
  unit().ClearFaults();
  fields[kIdSlaveAddr] = "7";
  EXPECT_EQ(Run(kIdI2cRead), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdI2cResult], "failed.");
}

TEST_F(DebugCommands, OnlyNonHexWriteDataSendsAZeroLengthTransfer) {
  fields[kIdI2cData] = "zz";
  EXPECT_EQ(Run(kIdI2cWrite), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdI2cData], "");
  const auto writes = OfRequest(kI2cWriteRequest);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].setup.length, 0);
}

TEST_F(DebugCommands, EmptyWriteDataIsRefusedBeforeAnyTransfer) {
  // The I2C and EEPROM groups empty their Result field first; the FPGA group leaves it.
  const struct {
    int button;
    int result;
    const char* shown;
  } cases[] = {{kIdI2cWrite, kIdI2cResult, ""},
               {kIdI2cWriteRead, kIdI2cResult, ""},
               {kIdFpgaWrite, kIdFpgaResult, "old"},
               {kIdEepromWrite, kIdEepromResult, ""}};
  for (const auto& c : cases) {
    unit().ClearLog();
    fields[c.result] = "old";
    EXPECT_EQ(Run(c.button), DebugOutcome::NoWriteData) << c.button;
    EXPECT_TRUE(unit().Log().empty()) << c.button;
    EXPECT_EQ(fields[c.result], c.shown) << c.button;
  }
}

TEST_F(DebugCommands, FpgaRegisterWriteAndReadHighByteFirst) {
  fields[kIdFpgaAddr] = "0x120";
  fields[kIdFpgaData] = "1234";
  EXPECT_EQ(Run(kIdFpgaWrite), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdFpgaResult], "success.");
  const auto writes = OfRequest(qeltest::kRegWrite);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].setup.index, 0x120);
  EXPECT_EQ(writes[0].setup.value, 0);
  EXPECT_EQ(writes[0].data, (Bytes{0x12, 0x34}));

  fields[kIdFpgaData] = "";
  EXPECT_EQ(Run(kIdFpgaRead), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdFpgaResult], "1234");
  unit().FailControl(0, 1, qeltest::kRegRead);
  EXPECT_EQ(Run(kIdFpgaRead), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdFpgaResult], "failed.");
}

TEST_F(DebugCommands, SensorWriteSendsTheAddressEvenWithoutData) {
  fields[kIdSensorAddr] = "3012";
  EXPECT_EQ(Run(kIdSensorWrite), DebugOutcome::NoWriteData);
  auto writes = OfRequest(qeltest::kRegWrite);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].setup.index, 0x426);
  EXPECT_EQ(writes[0].data, (Bytes{0x30, 0x12}));

  unit().ClearLog();
  fields[kIdSensorData] = "beef";
  EXPECT_EQ(Run(kIdSensorWrite), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdSensorResult], "success.");
  writes = OfRequest(qeltest::kRegWrite);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].setup.index, 0x427);
  EXPECT_EQ(writes[1].data, (Bytes{0xBE, 0xEF}));

  EXPECT_EQ(Run(kIdSensorRead), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdSensorResult], "BEEF");
}

TEST_F(DebugCommands, SensorDataIsNotSentWhenTheAddressWriteFailed) {
  fields[kIdSensorAddr] = "3012";
  fields[kIdSensorData] = "1";
  unit().FailControl(0, 1, qeltest::kRegWrite);
  EXPECT_EQ(Run(kIdSensorWrite), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdSensorResult], "failed.");
  EXPECT_EQ(OfRequest(qeltest::kRegWrite).size(), 1u);  // the failed address write only

  const struct {
    int after;
    uint8_t request;
  } reads[] = {{0, qeltest::kRegWrite}, {0, qeltest::kRegRead}};
  for (const auto& r : reads) {
    unit().ClearFaults();
    unit().FailControl(r.after, 1, r.request);
    fields[kIdSensorResult] = "old";
    EXPECT_EQ(Run(kIdSensorRead), DebugOutcome::Done);
    EXPECT_EQ(fields[kIdSensorResult], "failed.");
  }
}

TEST_F(DebugCommands, EepromWriteWaitsForReadyThenWritesAndReadsBack) {
  const struct {
    const char* type;
    int selector;
    const char* address;
    uint32_t written;
  } cases[] = {{"0", 0, "4010", 0x4010}, {"1", 1, "0x123", 0x123}, {"7", 1, "200", 0x200}};
  for (const auto& c : cases) {
    unit().ClearLog();
    fields[kIdEepromType] = c.type;
    fields[kIdEepromAddr] = c.address;
    fields[kIdEepromData] = "de ad be ef";
    EXPECT_EQ(Run(kIdEepromWrite), DebugOutcome::Done);
    EXPECT_EQ(fields[kIdEepromResult], "success.") << c.type;
    const auto writes = OfRequest(qeltest::kEepromWrite);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].setup.value >> 12, c.selector);
    EXPECT_EQ(writes[0].setup.index, c.written);
    EXPECT_EQ(writes[0].data, (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_FALSE(OfRequest(kStatusRequest).empty()) << "the state is asked before the write";

    fields[kIdEepromSize] = "4";
    EXPECT_EQ(Run(kIdEepromRead), DebugOutcome::Done);
    EXPECT_EQ(fields[kIdEepromResult], "DE AD BE EF ");
  }
  unit().FailControl(0, 1, qeltest::kEepromRead);
  EXPECT_EQ(Run(kIdEepromRead), DebugOutcome::Done);
  EXPECT_EQ(fields[kIdEepromResult], "read failed.");
}

TEST_F(DebugCommands, EepromWriteGivesUpOnStuckBusyErrorAbsenceAndStatusFailure) {
  const struct {
    const char* name;
    std::function<void(sim::Unit&)> fault;
    const char* type;
    const char* result;
  } cases[] = {
      {"stuck busy", [](sim::Unit& u) { u.SetEepromStuckBusy(0, true); }, "0", "failed.(busy.)"},
      {"head stuck busy", [](sim::Unit& u) { u.SetEepromStuckBusy(1, true); }, "1",
       "failed.(busy.)"},
      {"error", [](sim::Unit& u) { u.SetEepromError(0, true); }, "0", "failed.(error.)"},
      {"no head EEPROM", [](sim::Unit& u) { u.SetCisEeprom(0); }, "1", "failed.(none)"},
      {"status fails", [](sim::Unit& u) { u.FailControl(0, 1, kStatusRequest); }, "0",
       "failed.(func.)"},
  };
  for (const auto& c : cases) {
    unit().ClearFaults();
    unit().SetCisEeprom(2);
    c.fault(unit());
    unit().ClearLog();
    fields[kIdEepromType] = c.type;
    fields[kIdEepromData] = "1";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(kIdEepromWrite), DebugOutcome::Done);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(fields[kIdEepromResult], c.result) << c.name;
    EXPECT_TRUE(OfRequest(qeltest::kEepromWrite).empty()) << c.name;
    // The wait is bounded, and only a busy EEPROM is waited for.
    EXPECT_LT(waited, kEepromReadyLimit + std::chrono::milliseconds(1500)) << c.name;
    if (std::string(c.result) == "failed.(busy.)") {
      EXPECT_GE(waited, kEepromReadyLimit) << c.name;
      // Polled with pauses, not in a tight loop.
      EXPECT_LT(OfRequest(kStatusRequest).size(), 1500u) << c.name;
    }
  }
}

TEST_F(DebugCommands, HostileFieldTextsNeverBreakACommand) {
  const std::string hostile[] = {
      "",
      "99999999999999999999999999",
      "-1",
      "+-5",
      "0x",
      "0xFFFFFFFFFF",
      std::string(1023, 'F'),
      std::string(5000, '7'),
      std::string(1023, ' ') + "12",
      "\xE4\xF6\xFC\xDF",
      "\xC3\xA4\xE2\x82\xAC",
      std::string("1\0 2", 4),
      "\t\r\n",
  };
  const int buttons[] = {
      kIdI2cWrite,   kIdI2cRead,     kIdI2cWriteRead, kIdFpgaWrite,   kIdFpgaRead, kIdEepromWrite,
      kIdEepromRead, kIdSensorWrite, kIdSensorRead,   kIdSerialWrite, 9999};
  for (const std::string& text : hostile) {
    for (int button : buttons) {
      for (int id = kFirstFieldId; id <= kLastFieldId; ++id) fields[id] = text;
      const DebugOutcome outcome = Run(button);
      const bool i2c = button >= kIdI2cWrite && button <= kIdI2cWriteRead;
      const bool takesData = button == kIdI2cWrite || button == kIdI2cWriteRead ||
                             button == kIdFpgaWrite || button == kIdEepromWrite ||
                             button == kIdSensorWrite;
      EXPECT_EQ(outcome == DebugOutcome::NoWriteData, takesData && text.empty()) << button;
      if (i2c) {
        EXPECT_EQ(fields[kIdSlaveAddr].size(), 2u);
      }
      for (int sizeField : {kIdI2cSize, kIdEepromSize}) {
        if (fields[sizeField] == text) continue;  // not a read: left as typed
        const int size = std::atoi(fields[sizeField].c_str());
        EXPECT_TRUE(size >= 1 && size <= 64) << fields[sizeField];
      }
      for (int dataField : {kIdI2cData, kIdEepromData}) {
        if (fields[dataField] != text) {
          EXPECT_LE(fields[dataField].size(), 64u * 3);
        }
      }
    }
  }
}

}  // namespace
}  // namespace picture
