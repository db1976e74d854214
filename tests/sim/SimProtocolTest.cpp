// The simulated unit's control requests: framing, registers, status, EEPROMs, I2C and faults.
#include <algorithm>
#include <atomic>

#include "QEL_Sim.h"
#include "SimTestSupport.h"

namespace simtest {
namespace {

TEST_F(SimUnitTest, InformationBlocksAnswerOnlyTheirExactRequest) {
  std::vector<uint8_t> info(48);
  ASSERT_TRUE(In(0x10, 0, 0, info));
  EXPECT_EQ(info[2], 2);  // firmware 2.5
  EXPECT_EQ(info[3], 5);

  std::vector<uint8_t> shortInfo(47), format(8), status(16);
  EXPECT_FALSE(In(0x10, 0, 0, shortInfo));
  EXPECT_FALSE(Out(0x10, 0, 0, std::vector<uint8_t>(48)));  // wrong direction stalls
  ASSERT_TRUE(In(0x11, 0, 0, format));
  EXPECT_EQ(format[0], 0);
  ASSERT_TRUE(In(0x11, 0, 1, format));
  EXPECT_EQ(format[0], 1);
  EXPECT_FALSE(In(0x11, 0, 2, format));
  EXPECT_FALSE(In(0x1A, 0, 0, status));  // unknown request
  EXPECT_FALSE(In(0x0F, 0, 0, status));

  usb::SetupPacket noBuffer{usb::kVendorIn, 0x12, 0, 0, 16};
  EXPECT_FALSE(device->ControlTransfer(noBuffer, nullptr));
}

TEST_F(SimUnitTest, StatusRecordCarriesDataFormatAndEepromStates) {
  auto s = Status();
  EXPECT_EQ(s[1], 0);
  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(s[4], 0);

  ASSERT_TRUE(Out(0x13, 0, 2, {0, 1, 0}));
  EXPECT_EQ(Status()[1], 1);
  EXPECT_EQ(Unit().DataFormat(), 1);
  EXPECT_TRUE(Out(0x13, 0, 5, {9, 9, 9}));  // another item: no effect on the format
  EXPECT_EQ(Status()[1], 1);
  EXPECT_FALSE(Out(0x13, 0, 8, {0, 0, 0}));
  EXPECT_FALSE(Out(0x13, 0, 2, {0, 0}));
  std::vector<uint8_t> items(3);
  EXPECT_FALSE(In(0x13, 0, 2, items));

  Unit().SetCisEeprom(0);
  EXPECT_EQ(Status()[4], 3);
  Unit().SetCisEeprom(1);
  EXPECT_EQ(Status()[4], 0);
  Unit().SetHead(sim::Unit::kNoHead);
  EXPECT_EQ(Status()[4], 3);
}

TEST_F(SimUnitTest, RegisterBlocksTravelHighByteFirstOverConsecutiveRegisters) {
  ASSERT_TRUE(Out(0x19, 0, 0x30, {0x12, 0x34, 0xAB, 0xCD}));
  EXPECT_EQ(Unit().Register(0x30), 0x1234);
  EXPECT_EQ(Unit().Register(0x31), 0xABCD);
  std::vector<uint8_t> block(4);
  ASSERT_TRUE(In(0x18, 0, 0x30, block));
  EXPECT_EQ(block, (std::vector<uint8_t>{0x12, 0x34, 0xAB, 0xCD}));

  std::vector<uint8_t> odd(3), table(64 * 2);
  EXPECT_FALSE(In(0x18, 0, 0x30, odd));
  EXPECT_FALSE(Out(0x19, 0, 0x30, {1, 2, 3}));
  std::vector<uint8_t> past(4);
  EXPECT_FALSE(In(0x18, 0, 0xFFFF, past));  // would run past register 0xFFFF

  ASSERT_TRUE(In(0x18, 0, 0x100, table));  // defect table 0 resets to empty entries
  for (size_t i = 0; i < table.size(); i += 2) {
    ASSERT_EQ(table[i], 0x01);
    ASSERT_EQ(table[i + 1], 0xFF);
  }
}

TEST_F(SimUnitTest, ResetValuesAreTheViewerDefaultsInBothBanks) {
  for (uint16_t bank : {0x00, 0x80}) {
    EXPECT_EQ(Reg(bank + 0x00), 0);
    EXPECT_EQ(Reg(bank + 0x03), 400);
    EXPECT_EQ(Reg(bank + 0x04), 128);
    EXPECT_EQ(Reg(bank + 0x05), 50);
    EXPECT_EQ(Reg(bank + 0x0D), 16);
    EXPECT_EQ(Reg(bank + 0x0E), 24);
    EXPECT_EQ(Reg(bank + 0x13), 128);
    EXPECT_EQ(Reg(bank + 0x14), 0);
    EXPECT_EQ(Reg(bank + 0x17), 128);
    EXPECT_EQ(Reg(bank + 0x1B), 128);
    EXPECT_EQ(Reg(bank + 0x1F), 50);
    EXPECT_EQ(Reg(bank + 0x24), 1);
  }
  EXPECT_EQ(Reg(0x20), 0x0000);
  EXPECT_EQ(Reg(0xA0), 0x1000);  // DVI size 400x400 on a 160K head
  EXPECT_EQ(Reg(0xF6), 1);
  EXPECT_EQ(Reg(0xF7), 1);
  EXPECT_EQ(Reg(0xFF), 0x12);
  // Gamma curves rise from 0 to full scale.
  EXPECT_EQ(Reg(0xC000), 0);
  EXPECT_EQ(Reg(0xCFFF), 4095);
  EXPECT_GT(Reg(0xD800), 2048);
}

TEST_F(SimUnitTest, HeadRegistersFollowTheHeadAndIgnoreWrites) {
  EXPECT_EQ(Reg(0xF0), 1);
  EXPECT_EQ(Reg(0xF4), 0);
  ASSERT_TRUE(WriteReg(0xF4, 1));
  ASSERT_TRUE(WriteReg(0xFF, 0));
  EXPECT_EQ(Reg(0xF4), 0);
  EXPECT_EQ(Reg(0xFF), 0x12);
  Unit().SetHead(1);
  EXPECT_EQ(Reg(0xF4), 1);
  Unit().SetHead(sim::Unit::kNoHead);
  EXPECT_EQ(Reg(0xF0), 0);
}

TEST_F(SimUnitTest, UnitEepromUsesTwentyBitAddressesAndIsBusyAfterEachWrite) {
  Unit().SetEepromBusyTime(std::chrono::milliseconds(200));
  std::vector<uint8_t> erased(16);
  ASSERT_TRUE(In(0x16, 0x000F, 0xFFF0, erased));  // last 16 bytes of 1 MiB
  EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](uint8_t b) { return b == 0xFF; }));
  std::vector<uint8_t> beyond(17);
  EXPECT_FALSE(In(0x16, 0x000F, 0xFFF0, beyond));

  ASSERT_TRUE(Out(0x17, 0x0001, 0x2345, {1, 2, 3}));
  EXPECT_EQ(Unit().ReadEeprom(0, 0x12345, 3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Status()[3], 1);
  EXPECT_FALSE(Out(0x17, 0, 0x4000, {7}));  // still writing
  EXPECT_EQ(Unit().ReadEeprom(0, 0x4000, 1), (std::vector<uint8_t>{0xFF}));
  ASSERT_TRUE(WaitFor([&] { return Status()[3] == 0; }));
  EXPECT_TRUE(Out(0x17, 0, 0x4000, {7}));

  std::vector<uint8_t> any(4);
  EXPECT_FALSE(In(0x16, 0x2000, 0, any));  // selector 2 does not exist
}

TEST_F(SimUnitTest, HeadEepromStatesAndFaults) {
  std::vector<uint8_t> header(16);
  ASSERT_TRUE(In(0x16, 0x1000, 0, header));
  EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.begin() + 7),
            (std::vector<uint8_t>{'Q', 'E', 'L', 0, 1, 0, 0}));
  std::vector<uint8_t> table(128);
  ASSERT_TRUE(In(0x16, 0x1000, 0x200, table));
  EXPECT_EQ(table[0], 0x01);
  EXPECT_EQ(table[127], 0xFF);
  std::vector<uint8_t> pastEnd(2);
  EXPECT_FALSE(In(0x16, 0x1000, 0x0FFF, pastEnd));

  Unit().SetCisEeprom(1);
  ASSERT_TRUE(In(0x16, 0x1000, 0, header));
  EXPECT_EQ(header[0], 0xFF);

  Unit().SetEepromError(1, true);
  EXPECT_EQ(Status()[4], 2);
  EXPECT_FALSE(Out(0x17, 0x1000, 0x20, {1}));
  Unit().SetEepromError(1, false);
  Unit().SetEepromStuckBusy(1, true);
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(Status()[4], 1);
  EXPECT_FALSE(Out(0x17, 0x1000, 0x20, {1}));
  Unit().SetEepromStuckBusy(1, false);
  EXPECT_EQ(Status()[4], 0);
  EXPECT_TRUE(Out(0x17, 0x1000, 0x20, {1}));

  Unit().SetCisEeprom(0);
  EXPECT_FALSE(In(0x16, 0x1000, 0, header));
  Unit().SetCisEeprom(2);
  Unit().SetHead(sim::Unit::kNoHead);
  EXPECT_FALSE(In(0x16, 0x1000, 0, header));
  EXPECT_FALSE(Out(0x17, 0x1000, 0x20, {1}));
}

TEST_F(SimUnitTest, LimitFlagRisesWhenUsageCountReachesANonZeroLimit) {
  EXPECT_EQ(Reg(0xF1), 0);
  ASSERT_TRUE(Out(0x17, 0x1000, 0x20, {200}));  // sample limit is 200
  EXPECT_EQ(Reg(0xF1), 1);
  ASSERT_TRUE(WaitFor([&] { return Status()[4] == 0; }));
  ASSERT_TRUE(Out(0x17, 0x1000, 0x24, {0}));  // no limit
  EXPECT_EQ(Reg(0xF1), 0);
}

TEST_F(SimUnitTest, I2CDevicesKeepARegisterPointer) {
  ASSERT_TRUE(Out(0x15, 0, 0x58, {0x40, 0xAA, 0xBB}));
  ASSERT_TRUE(Out(0x15, 0, 0x58, {0x40}));
  std::vector<uint8_t> two(2);
  ASSERT_TRUE(In(0x14, 0, 0x58, two));
  EXPECT_EQ(two, (std::vector<uint8_t>{0xAA, 0xBB}));
  EXPECT_FALSE(In(0x14, 0, 0x21, two));  // nobody there
  EXPECT_FALSE(Out(0x15, 0, 0x21, {0}));
  EXPECT_FALSE(In(0x14, 0, 0xD8, two));  // not a 7-bit address
}

TEST_F(SimUnitTest, SensorRegistersAreReachedThroughTheAddressAndDataRegisters) {
  ASSERT_TRUE(WriteReg(0x426, 0x3000));
  EXPECT_NE(Reg(0x427), 0);
  ASSERT_TRUE(WriteReg(0x426, 0x1234));
  ASSERT_TRUE(WriteReg(0x427, 0xBEEF));
  ASSERT_TRUE(WriteReg(0x426, 0x1235));
  EXPECT_EQ(Reg(0x427), 0);
  ASSERT_TRUE(WriteReg(0x426, 0x1234));
  EXPECT_EQ(Reg(0x427), 0xBEEF);
}

TEST_F(SimUnitTest, OnePushWhiteBalanceReportsBusyThenNewGainsAndChangeBits) {
  Status();  // clear the mask
  ASSERT_TRUE(WriteReg(0x10, 1));
  EXPECT_NE(Reg(0x10), 0);
  EXPECT_EQ(Status()[12], 0);
  ASSERT_TRUE(WaitFor([&] { return Reg(0x10) == 0; }));
  EXPECT_NE(Reg(0x11), 0);
  EXPECT_NE(Reg(0x12), 0);
  auto s = Status();
  EXPECT_EQ(s[12] & 0x07, 0x07);  // registers 0x10, 0x11, 0x12
  EXPECT_EQ(Status()[12], 0);     // cleared by the read
}

TEST_F(SimUnitTest, FpnAcquisitionAndManualDetectFinishOnTheirOwn) {
  ASSERT_TRUE(WriteReg(0x23, 0x0101));
  EXPECT_EQ(Reg(0x23), 0x0101);
  ASSERT_TRUE(WriteReg(0xF8, 1));
  EXPECT_EQ(Reg(0xF8), 1);
  ASSERT_TRUE(WaitFor([&] { return Reg(0x23) == 0x0001 && Reg(0xF8) == 0; }));
  EXPECT_EQ(Status()[14] & 0x08, 0x08);  // register 0x23
}

TEST_F(SimUnitTest, AutomaticGainMovesTowardTheTargetAndReportsIt) {
  Unit().SetFrameRate(0);
  Status();
  ASSERT_TRUE(WriteReg(0x05, 3500));  // target above the picture's level
  ASSERT_TRUE(WriteReg(0x00, 3));     // AGC
  ASSERT_TRUE(WaitFor([&] { return Unit().Register(0x04) > 128; }));
  EXPECT_EQ(Status()[10] & 0x10, 0x10);  // register 0x04
  ASSERT_TRUE(WriteReg(0x05, 200));
  ASSERT_TRUE(WaitFor([&] { return Unit().Register(0x04) < 60; }));
  EXPECT_GE(Unit().Register(0x04), 16);
  EXPECT_EQ(Unit().Register(0x03), 400);  // a 40K head has no automatic exposure
}

TEST_F(SimUnitTest, AutomaticLightControlMovesTheLightLevelOnly) {
  Unit().SetFrameRate(0);
  ASSERT_TRUE(WriteReg(0x1F, 2000));
  ASSERT_TRUE(WriteReg(0x01, 1));  // ALC
  ASSERT_TRUE(WaitFor([&] { return Unit().Register(0x0F) > 100; }));
  EXPECT_EQ(Unit().Register(0x04), 128);
  EXPECT_EQ(Status()[11] & 0x80, 0x80);  // register 0x0F
}

TEST_F(SimUnitTest, InjectedFailuresHitOnlyTheMatchingTransfersAndChangeNothing) {
  Unit().FailControl(2, 1, 0x18);
  uint16_t v = 0;
  EXPECT_TRUE(ReadReg(0x03, v));
  EXPECT_TRUE(WriteReg(0x30, 5));  // other requests are not counted
  EXPECT_TRUE(ReadReg(0x03, v));
  EXPECT_FALSE(ReadReg(0x03, v));
  EXPECT_TRUE(ReadReg(0x03, v));

  Unit().FailControl(0, -1, 0x19);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(WriteReg(0x30, 7));
  EXPECT_EQ(Unit().Register(0x30), 5);
  Unit().ClearFaults();
  EXPECT_TRUE(WriteReg(0x30, 7));

  Unit().FailControl(1, 2);  // any request
  EXPECT_TRUE(WriteReg(0x30, 1));
  EXPECT_FALSE(WriteReg(0x30, 2));
  EXPECT_FALSE(ReadReg(0x30, v));
  EXPECT_TRUE(ReadReg(0x30, v));
  EXPECT_EQ(v, 1);
}

TEST_F(SimUnitTest, LogRecordsSetupAndDataStagesAndHookSeesEveryTransfer) {
  std::vector<uint8_t> reg(2);
  ASSERT_TRUE(WriteReg(0x31, 0x0102));
  ASSERT_TRUE(In(0x18, 0, 0x31, reg));
  Unit().FailControl(0, 1);
  EXPECT_FALSE(In(0x18, 0, 0x31, reg));
  auto log = Unit().Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].setup.requestType, usb::kVendorOut);
  EXPECT_EQ(log[0].setup.request, 0x19);
  EXPECT_EQ(log[0].setup.index, 0x31);
  EXPECT_EQ(log[0].data, (std::vector<uint8_t>{0x01, 0x02}));
  EXPECT_TRUE(log[0].ok);
  EXPECT_EQ(log[1].data, (std::vector<uint8_t>{0x01, 0x02}));
  EXPECT_FALSE(log[2].ok);
  EXPECT_TRUE(log[2].data.empty());
  Unit().ClearLog();
  EXPECT_TRUE(Unit().Log().empty());

  // The hook runs outside the unit's lock: it may pull the unit mid-sequence.
  std::atomic<int> calls{0};
  Unit().SetControlHook([&](const usb::SetupPacket& s) {
    if (++calls == 2 && s.request == 0x18) Unit().SetPlugged(false);
  });
  EXPECT_TRUE(WriteReg(0x31, 1));
  EXPECT_TRUE(In(0x18, 0, 0x31, reg));
  EXPECT_FALSE(In(0x18, 0, 0x31, reg));
  EXPECT_EQ(calls, 2);  // the dead device's transfer never reached the unit
}

TEST_F(SimUnitTest, ControlTransfersTakeTheConfiguredLatency) {
  Unit().SetControlLatency(std::chrono::microseconds(2000));
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) Status();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 10ms);
}

TEST_F(SimUnitTest, CFunctionsCheckTheirArguments) {
  const bool wasEnabled = sim::Enabled();
  EXPECT_EQ(QELSIM_Enable(2), -1);
  EXPECT_EQ(QELSIM_Enable(1), 0);
  EXPECT_TRUE(sim::Enabled());
  EXPECT_EQ(QELSIM_Enable(wasEnabled ? 1 : 0), 0);
  EXPECT_EQ(QELSIM_SetPlugged(-1), -1);
  EXPECT_EQ(QELSIM_SetHead(2), -1);
  EXPECT_EQ(QELSIM_SetHead(-2), -1);
  EXPECT_EQ(QELSIM_SetHead(1), 0);
  EXPECT_EQ(Unit().Head(), 1);
  EXPECT_EQ(QELSIM_SetCisEeprom(3), -1);
  EXPECT_EQ(QELSIM_SetCisEeprom(1), 0);
  EXPECT_EQ(Unit().ReadEeprom(1, 0, 1), (std::vector<uint8_t>{0xFF}));
  EXPECT_EQ(QELSIM_SetFrameRate(-1), -1);
  EXPECT_EQ(QELSIM_SetFrameRate(12500), 0);
  EXPECT_EQ(Unit().FrameRate(), 12500);
  EXPECT_EQ(QELSIM_SetPlugged(0), 0);
  EXPECT_FALSE(Unit().Plugged());
}

}  // namespace
}  // namespace simtest
