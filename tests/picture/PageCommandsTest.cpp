// The Picture page's commands against the simulated unit: the polled operations with a driven
// clock, the head record saves and the serial number commands, checked on the bus and in the
// head's EEPROM.
#include <gtest/gtest.h>

#include <vector>

#include "tests/api/SimFixture.h"
#include "tests/api/TransferLog.h"
#include "viewer/picture/core/PageCommands.h"

namespace picture {
namespace {

using qeltest::Bytes;
using qeltest::kEepromRead;
using qeltest::kEepromWrite;
using qeltest::kRegRead;
using qeltest::kRegWrite;
using qeltest::OfRequest;

constexpr uint8_t kStatusRequest = 0x12;

// Registers of the polled operations (bank 0; manual detection is unbanked).
constexpr uint16_t kRegAwb = 0x10;
constexpr uint16_t kRegRedGain = 0x11;
constexpr uint16_t kRegBlueGain = 0x12;
constexpr uint16_t kRegImageFineAdj = 0x22;
constexpr uint16_t kRegFpn = 0x23;
constexpr uint16_t kRegManualDetect = 0xF8;

// Head EEPROM addresses.
constexpr uint32_t kHeader = 0x00;
constexpr uint32_t kSerial = 0x10;
constexpr uint32_t kUseCount = 0x20;
constexpr uint32_t kUseCountLimit = 0x24;
constexpr uint32_t kGains = 0x30;
constexpr uint32_t kImageFineAdj = 0x34;
constexpr uint32_t kDefectTable0 = 0x200;

const Bytes kFormattedHeader = {'Q', 'E', 'L', 0, 1, 0, 0};

int DecodeSignMagnitude(uint16_t v) {
  return (v >> 8) & 1 ? -(v & 0xFF) : (v & 0xFF);
}

struct PolledCase {
  PolledCommand command;
  sim::Operation operation;
  uint16_t reg;
  const char* error;
  const char* timeout;
};

constexpr PolledCase kPolledCases[] = {
    {PolledCommand::WhiteBalance, sim::Operation::WhiteBalance, kRegAwb, "AWB exec error!",
     "AWB exec timeout!"},
    {PolledCommand::FpnAcquisition, sim::Operation::FpnAcquisition, kRegFpn,
     "FPN data acquisition error!", "FPN data acquisition timeout!"},
    {PolledCommand::ManualDetect, sim::Operation::ManualDetect, kRegManualDetect,
     "CIS manual detect error!", "CIS manual detect timeout!"},
};

// True when the write starts the operation: the whole register for white balance and manual
// detection, field H0 (bits 11..8) for FPN acquisition.
bool Starts(const PolledCase& c, const Bytes& data) {
  const int value = data[0] << 8 | data[1];
  return c.reg == kRegFpn ? ((value >> 8) & 0xF) == 1 : value == 1;
}

// A message as the operator reads it.
struct Said {
  std::string text;
  CommandIcon icon = CommandIcon::None;
  bool operator==(const Said&) const = default;
};
using Saids = std::vector<Said>;

class PageCommands : public qeltest::SimFixture {
 protected:
  CommandPrompts Recording() {
    CommandPrompts prompts;
    prompts.show = [this](const CommandMessage& m) { shown.push_back({m.text, m.icon}); };
    prompts.ask = [this](const CommandMessage& m) {
      asked.push_back({m.text, m.icon});
      return answer;
    };
    return prompts;
  }

  static std::vector<sim::TransferRecord> Transfers(uint8_t request, uint16_t index) {
    std::vector<sim::TransferRecord> out;
    for (const sim::TransferRecord& r : OfRequest(request)) {
      if (r.setup.index == index) out.push_back(r);
    }
    return out;
  }

  Bytes Head(uint32_t address, size_t length) { return unit().ReadEeprom(1, address, length); }

  Saids shown;
  Saids asked;
  bool answer = true;
};

TEST_F(PageCommands, OperationFinishedOnTheFirstPollShowsNothing) {
  for (const PolledCase& c : kPolledCases) {
    unit().SetOperationMode(c.operation, sim::OperationMode::Immediate);
    unit().ClearLog();
    int between = 0;
    const PollResult result = RunPolledCommand(c.command, SteadyTicks, [&] { ++between; });
    EXPECT_EQ(result.message, nullptr) << c.error;
    EXPECT_EQ(between, 0) << c.error;
    // The read-modify-write of the FPN start reads its register once before the poll does.
    EXPECT_EQ(Transfers(kRegRead, c.reg).size(), c.reg == kRegFpn ? 2u : 1u) << c.error;
    const auto starts = Transfers(kRegWrite, c.reg);
    ASSERT_EQ(starts.size(), 1u) << c.error;
    EXPECT_TRUE(Starts(c, starts[0].data)) << c.error;

    if (c.command == PolledCommand::WhiteBalance) {
      // The gains the unit settled on, as its registers hold them.
      ASSERT_TRUE(result.redGain && result.blueGain);
      EXPECT_EQ(*result.redGain, DecodeSignMagnitude(unit().Register(kRegRedGain)));
      EXPECT_EQ(*result.blueGain, DecodeSignMagnitude(unit().Register(kRegBlueGain)));
      EXPECT_EQ(Transfers(kRegRead, kRegRedGain).size(), 1u);
      EXPECT_EQ(Transfers(kRegRead, kRegBlueGain).size(), 1u);
    } else {
      EXPECT_FALSE(result.redGain || result.blueGain) << c.error;
    }
  }
}

TEST_F(PageCommands, WhiteBalanceReturnsOnlyTheGainsThatCouldBeRead) {
  unit().SetOperationMode(sim::Operation::WhiteBalance, sim::OperationMode::Immediate);
  // Start: bank read, write. Poll: bank read, read. Red gain: bank read, then its read fails.
  unit().FailControl(4, 1, kRegRead);
  const PollResult result = RunPolledCommand(PolledCommand::WhiteBalance);
  EXPECT_EQ(result.message, nullptr);
  EXPECT_FALSE(result.redGain);
  ASSERT_TRUE(result.blueGain);
  EXPECT_EQ(*result.blueGain, DecodeSignMagnitude(unit().Register(kRegBlueGain)));
}

// The unit never finishes: the command gives up at the first reading more than 5000 ms after
// the start, wherever the counter wraps, and leaves the operation running.
TEST_F(PageCommands, OperationNeverFinishingTimesOutJustOver5000Ms) {
  const uint32_t starts[] = {0, 0xFFFFF000u, 0xFFFFFFFFu - 4999};
  for (const PolledCase& c : kPolledCases) {
    for (uint32_t start : starts) {
      unit().SetOperationMode(c.operation, sim::OperationMode::Never);
      unit().ClearFaults();
      unit().ClearLog();
      const std::vector<uint32_t> readings = {start, start + 1, start + 4999, start + 5000,
                                              start + 5001};
      size_t read = 0;
      int between = 0;
      const TickClock ticks = [&] { return readings[std::min(read++, readings.size() - 1)]; };
      // A clock the command misreads would keep it polling: end that with a failing poll.
      const PollResult result = RunPolledCommand(c.command, ticks, [&] {
        if (++between == 10) unit().FailControl(0, -1);
      });
      EXPECT_STREQ(result.message, c.timeout) << c.error << " from " << start;
      EXPECT_EQ(read, readings.size()) << c.error << " from " << start;
      EXPECT_EQ(between, 3) << c.error << " from " << start;
      // The one write to the register is the start: no stop request follows.
      const auto writes = Transfers(kRegWrite, c.reg);
      ASSERT_EQ(writes.size(), 1u) << c.error;
      EXPECT_TRUE(Starts(c, writes[0].data)) << c.error;
      EXPECT_FALSE(result.redGain || result.blueGain);
    }
  }
}

TEST_F(PageCommands, FailedStartOrPollShowsTheErrorText) {
  for (const PolledCase& c : kPolledCases) {
    // A poll that fails while the operation runs.
    unit().ClearFaults();
    unit().SetOperationMode(c.operation, sim::OperationMode::FailPoll);
    int between = 0;
    PollResult result = RunPolledCommand(c.command, SteadyTicks, [&] { ++between; });
    EXPECT_STREQ(result.message, c.error);
    EXPECT_EQ(between, 0) << c.error;

    // A start the unit refuses is not taken for a success, and nothing is polled.
    unit().SetOperationMode(c.operation, sim::OperationMode::Immediate);
    unit().FailControl(0, 1, kRegWrite);
    unit().ClearLog();
    result = RunPolledCommand(c.command);
    EXPECT_STREQ(result.message, c.error);
    const size_t startReads = c.reg == kRegFpn ? 1 : 0;
    EXPECT_EQ(Transfers(kRegRead, c.reg).size(), startReads) << c.error;
    EXPECT_FALSE(result.redGain || result.blueGain);
  }
}

TEST_F(PageCommands, SavesWriteTheirRecordAndTellTheOutcome) {
  unit().SetRegister(kRegRedGain, 0x010C);  // -12
  unit().SetRegister(kRegBlueGain, 0x0005);
  unit().SetRegister(kRegImageFineAdj, 0x0007);
  const ShownRecords onPage{300, 77, 99, -98, 3};
  const struct {
    HeadRecord record;
    uint32_t address;
    Bytes stored;
    const char* complete;
    const char* error;
  } cases[] = {
      {HeadRecord::UseCount,
       kUseCount,
       {0x2C},
       "CIS Usage Count save complete",
       "CIS Usage Count save error"},
      {HeadRecord::UseCountLimit,
       kUseCountLimit,
       {77},
       "CIS Usage Count Upper Limit save complete",
       "CIS Usage Count Upper Limit save error"},
      {HeadRecord::WhiteBalanceGains,
       kGains,
       {0x01, 0x0C, 0x00, 0x05},
       "White Balance (Red Gain && Blue Gain) Data save complete",
       "White Balance (Red Gain && Blue Gain) Data save error"},
      {HeadRecord::ImageFineAdj,
       kImageFineAdj,
       {0x00, 0x07},
       "Image Fine Adj. (IFA) Data save complete",
       "Image Fine Adj. (IFA) Data save error"},
  };
  for (const auto& c : cases) {
    const Bytes before = Head(c.address, c.stored.size());
    ASSERT_NE(before, c.stored);
    unit().SetEepromError(1, true);
    EXPECT_STREQ(SaveHeadRecord(c.record, onPage), c.error);
    EXPECT_EQ(Head(c.address, c.stored.size()), before) << c.complete;
    unit().SetEepromError(1, false);
    EXPECT_STREQ(SaveHeadRecord(c.record, onPage), c.complete);
    EXPECT_EQ(Head(c.address, c.stored.size()), c.stored) << c.complete;
  }
}

TEST_F(PageCommands, GainSaveTriesBlueAfterAFailedRedAndFallsBackToTheShownValues) {
  unit().SetRegister(kRegRedGain, 0x0003);
  unit().SetRegister(kRegBlueGain, 0x0104);  // -4
  unit().FailControl(0, 1, kEepromWrite);
  const ShownRecords onPage{0, 0, -7, 8, 5};
  EXPECT_STREQ(SaveHeadRecord(HeadRecord::WhiteBalanceGains, onPage),
               "White Balance (Red Gain && Blue Gain) Data save error");
  EXPECT_EQ(Head(kGains + 2, 2), (Bytes{0x01, 0x04}));

  // Every register read failing: the values on the sliders go to the head.
  unit().ClearFaults();
  unit().FailControl(0, -1, kRegRead);
  EXPECT_STREQ(SaveHeadRecord(HeadRecord::WhiteBalanceGains, onPage),
               "White Balance (Red Gain && Blue Gain) Data save complete");
  EXPECT_EQ(Head(kGains, 4), (Bytes{0x01, 0x07, 0x00, 0x08}));
  EXPECT_STREQ(SaveHeadRecord(HeadRecord::ImageFineAdj, onPage),
               "Image Fine Adj. (IFA) Data save complete");
  EXPECT_EQ(Head(kImageFineAdj, 2), (Bytes{0x00, 0x05}));
}

TEST_F(PageCommands, WriteOnABlankHeadWritesOnlyTheHeaderAndTheSerial) {
  ASSERT_TRUE(unit().SetCisEeprom(1));
  unit().ClearLog();
  WriteSerialNo("AB-12", false, Recording());
  EXPECT_EQ(shown, (Saids{{"Serial No. write complete", CommandIcon::None}}));
  EXPECT_TRUE(asked.empty());
  const auto writes = OfRequest(kEepromWrite);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].setup.index, kHeader);
  EXPECT_EQ(writes[0].data, kFormattedHeader);
  EXPECT_EQ(writes[1].setup.index, kSerial);
  EXPECT_EQ(writes[1].data, (Bytes{'A', 'B', '-', '1', '2', 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // The other records stay blank.
  EXPECT_EQ(Head(kUseCount, 1), Bytes{0xFF});
  EXPECT_EQ(Head(kGains, 6), Bytes(6, 0xFF));
  EXPECT_EQ(Head(kDefectTable0, 4), Bytes(4, 0xFF));
}

TEST_F(PageCommands, SerialTextsAreStoredAsTheirFirst14Bytes) {
  const struct {
    std::string text;
    Bytes stored;
  } cases[] = {
      {"", Bytes(14, 0)},
      {"ABCDEFGHIJKLMNOPQRST",
       Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N'}},
      {"12345678901234",
       Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4'}},
      {std::string(200, 'x'), Bytes(14, 'x')},
  };
  for (const auto& c : cases) {
    WriteSerialNo(c.text, false, Recording());
    EXPECT_EQ(Head(kSerial, 14), c.stored) << c.text;
    // Read gives back what the head holds, up to its first zero byte.
    EXPECT_EQ(ReadSerialNo(Recording()), c.text.substr(0, 14));
  }
  for (const Said& m : shown) EXPECT_EQ(m.text, "Serial No. write complete");
}

TEST_F(PageCommands, WriteAndInitAsksFirstAndCancelWritesNothing) {
  ASSERT_TRUE(unit().WriteEeprom(1, kDefectTable0, {0x00, 0x10, 0x00, 0x20}));
  const Bytes records = Head(kHeader, 0x240);
  answer = false;
  unit().ClearLog();
  WriteSerialNo("NEW", true, Recording());
  EXPECT_EQ(asked, (Saids{{"Wtite Seral No. & Init CIS-EEPROM ?", CommandIcon::Information}}));
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(unit().Log().empty());
  EXPECT_EQ(Head(kHeader, 0x240), records);

  // OK: every record reset, then the serial number written.
  answer = true;
  asked.clear();
  WriteSerialNo("NEW", true, Recording());
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(shown, (Saids{{"Serial No. write complete", CommandIcon::None}}));
  EXPECT_EQ(Head(kHeader, 7), kFormattedHeader);
  EXPECT_EQ(Head(kSerial, 14), (Bytes{'N', 'E', 'W', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Head(kUseCount, 1), Bytes{0});
  EXPECT_EQ(Head(kUseCountLimit, 1), Bytes{0});
  EXPECT_EQ(Head(kGains, 6), Bytes(6, 0));
  EXPECT_EQ(Head(kDefectTable0, 4), (Bytes{0x01, 0xFF, 0x01, 0xFF}));
}

TEST_F(PageCommands, SerialCommandsOnAHeadWithoutEepromTouchNothing) {
  ASSERT_TRUE(unit().SetCisEeprom(0));
  for (bool initialise : {false, true}) {
    shown.clear();
    unit().ClearLog();
    WriteSerialNo("X", initialise, Recording());
    EXPECT_EQ(shown, (Saids{{"CIS EEPROM not connected", CommandIcon::None}}));
    EXPECT_TRUE(OfRequest(kEepromWrite).empty());
    EXPECT_TRUE(OfRequest(kEepromRead).empty());
  }
  shown.clear();
  EXPECT_EQ(ReadSerialNo(Recording()), std::nullopt);
  EXPECT_EQ(shown, (Saids{{"CIS EEPROM not connected", CommandIcon::None}}));
}

TEST_F(PageCommands, SerialCommandFailuresAreToldAndTheCommandGoesOn) {
  const Said checkError{"CIS EEPROM check error", CommandIcon::None};
  const Said notConnected{"CIS EEPROM not connected", CommandIcon::None};
  const Said initError{"CIS EEPROM initialize error", CommandIcon::None};
  const Said complete{"Serial No. write complete", CommandIcon::None};
  const Said writeError{"Serial No. write error", CommandIcon::None};
  const struct {
    const char* name;
    int after;
    uint8_t request;
    Saids messages;
    bool written;
  } cases[] = {
      // No status: the check leaves state 0.
      {"status", 0, kStatusRequest, {checkError, notConnected}, false},
      // The header read fails after the head answered: state 1, the write goes on.
      {"header read", 0, kEepromRead, {checkError, complete}, true},
      {"header write", 0, kEepromWrite, {initError, complete}, true},
      {"serial write", 1, kEepromWrite, {writeError}, false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(unit().SetCisEeprom(2));
    unit().ClearFaults();
    unit().FailControl(c.after, 1, c.request);
    shown.clear();
    WriteSerialNo("FAULT", false, Recording());
    EXPECT_EQ(shown, c.messages) << c.name;
    EXPECT_EQ(Head(kSerial, 5) == (Bytes{'F', 'A', 'U', 'L', 'T'}), c.written) << c.name;
  }
}

TEST_F(PageCommands, ReadShowsTheHeadsSerialOrFailed) {
  WriteSerialNo("SN-0042", false, Recording());
  shown.clear();
  EXPECT_EQ(ReadSerialNo(Recording()), "SN-0042");
  // The check reads the header; the serial read after it fails.
  unit().FailControl(1, 1, kEepromRead);
  EXPECT_EQ(ReadSerialNo(Recording()), "failed.");
  // The check's own read failing is told, and the serial is read all the same.
  unit().FailControl(0, 1, kEepromRead);
  EXPECT_EQ(ReadSerialNo(Recording()), "SN-0042");
  EXPECT_EQ(shown, (Saids{{"CIS EEPROM check error", CommandIcon::None}}));
}

}  // namespace
}  // namespace picture
