// Camera parameter functions against the simulated unit: packings, indices, banks, nibble fields,
// the parameter shadow, the data format and the table transfers.
#include <atomic>
#include <climits>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <utility>

#include "Core.h"
#include "SimFixture.h"
#include "TransferLog.h"

namespace qeltest {
namespace {

class Parameters : public SimFixture {
 protected:
  // Data of the only register write since the log was cleared, checked against its register.
  Bytes OnlyWrite(uint16_t reg) {
    auto writes = OfRequest(kRegWrite);
    EXPECT_EQ(writes.size(), 1u);
    if (writes.empty()) return {};
    EXPECT_EQ(writes[0].setup.index, reg);
    EXPECT_EQ(writes[0].setup.value, 0);
    return writes[0].data;
  }
  Bytes ShadowOf(uint16_t reg) {
    return {qel::Shadow()[64 + 2 * reg], qel::Shadow()[65 + 2 * reg]};
  }
};

TEST_F(Parameters, SignedPackingsCutAndDecode) {
  int value = 0;
  ASSERT_EQ(QEL_Set_GainRB(0, -5), 0);
  EXPECT_EQ(OnlyWrite(0x11), (Bytes{0x01, 0x05}));
  EXPECT_EQ(QEL_Get_GainRB(0, &value), 0);
  EXPECT_EQ(value, -5);

  unit().ClearLog();
  ASSERT_EQ(QEL_Set_GainRB(1, 300), 0);
  EXPECT_EQ(OnlyWrite(0x12), (Bytes{0x00, 0x2C}));

  unit().ClearLog();
  ASSERT_EQ(QEL_Set_GainYC(2, INT_MIN), 0);  // magnitude 2^31 cut to 8 bits, no overflow
  EXPECT_EQ(OnlyWrite(0x1E), (Bytes{0x01, 0x00}));

  unit().ClearLog();
  ASSERT_EQ(QEL_Set_ColorMatrix(0, -1), 0);
  EXPECT_EQ(OnlyWrite(0x13), (Bytes{0x01, 0xFF}));
  EXPECT_EQ(QEL_Get_ColorMatrix(0, &value), 0);
  EXPECT_EQ(value, -1);

  unit().ClearLog();
  ASSERT_EQ(QEL_Set_ColorMatrix(8, 256), 0);
  EXPECT_EQ(OnlyWrite(0x1B), (Bytes{0x01, 0x00}));
  EXPECT_EQ(QEL_Get_ColorMatrix(8, &value), 0);
  EXPECT_EQ(value, -256);
  // The colour matrix getter reads one register, value 0, like every other getter.
  EXPECT_EQ(OfRequest(kRegRead).back().setup.index, 0x1B);
  EXPECT_EQ(OfRequest(kRegRead).back().setup.length, 2);
}

TEST_F(Parameters, PlainValuesTravelHighByteFirstCutTo16Bits) {
  ASSERT_EQ(QEL_Set_ExposureTime(0x11234), 0);
  EXPECT_EQ(OnlyWrite(0x03), (Bytes{0x12, 0x34}));
  unit().SetRegister(0x0F, 0xBEEF);
  int value = 0;
  EXPECT_EQ(QEL_Get_LightLevel(&value), 0);
  EXPECT_EQ(value, 0xBEEF);
  EXPECT_EQ(QEL_Get_FPGA_Ver(&value), 0);
  EXPECT_EQ(value, sim::Unit::kFpgaVersion);
}

TEST_F(Parameters, IndexOutsideItsListOrNullOutputSendsNothing) {
  int value = 7;
  EXPECT_EQ(QEL_Set_Hysteresis(4, 1), -1);
  EXPECT_EQ(QEL_Set_ColorMatrix(9, 1), -1);
  EXPECT_EQ(QEL_Set_GainYC(3, 1), -1);
  EXPECT_EQ(QEL_Set_ControlMode(-1, 1), -1);
  EXPECT_EQ(QEL_Get_ControlMonitor(2, &value), -1);
  EXPECT_EQ(QEL_Get_GainRB(0, nullptr), -1);
  EXPECT_EQ(QEL_Get_ExposureTime(nullptr), -1);
  EXPECT_EQ(QEL_Get_DataFormat(nullptr), -1);
  EXPECT_EQ(QEL_Set_DP_Table(0, nullptr), -1);
  EXPECT_EQ(QEL_Get_Gamma_Table(0, nullptr), -1);
  EXPECT_TRUE(unit().Log().empty());
  EXPECT_EQ(value, 7);
}

TEST_F(Parameters, BankedRegistersFollowTheHeadType) {
  unit().SetHead(1);
  ASSERT_EQ(QEL_Set_BlackLevel(9), 0);
  EXPECT_EQ(IndicesOf(kRegRead), (std::vector<uint16_t>{0xF4}));  // bank read first
  EXPECT_EQ(OnlyWrite(0x82), (Bytes{0x00, 0x09}));
  EXPECT_EQ(ShadowOf(0x82), (Bytes{0x00, 0x09}));
  EXPECT_EQ(unit().Register(0x02), 0);

  unit().ClearLog();
  ASSERT_EQ(QEL_Set_CIS_ConnectionDet(0), 0);  // unbanked: no bank read
  EXPECT_TRUE(OfRequest(kRegRead).empty());
  OnlyWrite(0xF6);

  unit().SetHead(0);
  unit().ClearLog();
  ASSERT_EQ(QEL_Set_BlackLevel(4), 0);
  OnlyWrite(0x02);
  unit().ClearLog();
  ASSERT_EQ(QEL_Set_CIS_ConnectionDet(1), 0);
  OnlyWrite(0xF6);
}

// Without the head type no bank is guessed: every family of setters and getters and the
// parameter set functions fail with the type read's result, reading and writing nothing more.
TEST_F(Parameters, AFailedHeadTypeReadFailsTheCallOnEitherHead) {
  int value = 0;
  const std::pair<const char*, std::function<int()>> calls[] = {
      {"plain", [] { return QEL_Set_ExposureTime(5); }},
      {"plain get", [&] { return QEL_Get_ExposureTime(&value); }},
      {"sign and magnitude", [] { return QEL_Set_GainYC(1, -3); }},
      {"sign and magnitude get", [&] { return QEL_Get_GainRB(0, &value); }},
      {"nine bits", [] { return QEL_Set_ColorMatrix(4, -2); }},
      {"get through QEL_DeviceRead", [&] { return QEL_Get_Hysteresis(2, &value); }},
      {"nibble", [] { return QEL_Set_ImageFlip(3); }},
      {"nibble get", [&] { return QEL_Get_VFPN_Corr(&value); }},
      {"unshadowed nibble", [] { return QEL_Set_FPN_Corr(1); }},
      {"save", [] { return QEL_Save_Param(0); }},
      {"load", [] { return QEL_Load_Param(0); }},
  };
  for (int head : {0, 1}) {
    unit().SetHead(head);
    ASSERT_EQ(QEL_Save_Param(0), 0);  // a set the load could restore
    for (const auto& [name, call] : calls) {
      SCOPED_TRACE(std::string(name) + (head ? " 160K" : " 40K"));
      unit().ClearLog();
      unit().FailControl(0, 1, kRegRead);
      value = 0;
      EXPECT_EQ(call(), 1);
      EXPECT_EQ(value, 0);
      EXPECT_EQ(IndicesOf(kRegRead), (std::vector<uint16_t>{0xF4}));
      EXPECT_TRUE(OfRequest(kRegWrite).empty());
      EXPECT_TRUE(OfRequest(kEepromWrite).empty());
    }
  }
}

// Fields of register 0x23 set from two threads: neither read-modify-write may undo the other's.
TEST_F(Parameters, TwoThreadsOnTheFieldsOfOneRegisterLoseNoWrite) {
  unit().SetLogging(false);
  std::atomic<int> lost{0};
  auto toggle = [&](int (*set)(int), int (*get)(int*)) {
    for (int i = 0; i < 300; ++i) {
      int back = -1;
      if (set(i & 1) != 0 || get(&back) != 0 || back != (i & 1)) ++lost;
    }
  };
  std::thread other(toggle, QEL_Set_FPN_Corr, QEL_Get_FPN_Corr);
  toggle(QEL_Set_DP_Corr, QEL_Get_DP_Corr);
  other.join();
  EXPECT_EQ(lost.load(), 0);
}

TEST_F(Parameters, NibbleSetterChangesOnlyItsField) {
  unit().SetRegister(0x20, 0x1234);
  ASSERT_EQ(QEL_Set_ImageFlip(0x1F), 0);
  EXPECT_EQ(OnlyWrite(0x20), (Bytes{0x12, 0xF4}));
  int gamma = -1, flip = -1, rotation = -1, size = -1;
  EXPECT_EQ(QEL_Get_Gamma(&gamma), 0);
  EXPECT_EQ(QEL_Get_ImageFlip(&flip), 0);
  EXPECT_EQ(QEL_Get_ImageRotation(&rotation), 0);
  EXPECT_EQ(QEL_Get_DVI_ImageSize(&size), 0);
  EXPECT_EQ(gamma, 4);
  EXPECT_EQ(flip, 0xF);
  EXPECT_EQ(rotation, 2);
  EXPECT_EQ(size, 1);

  unit().SetRegister(0x21, 0xABCD);
  ASSERT_EQ(QEL_Set_DVI_Resolution(0), 0);
  EXPECT_EQ(unit().Register(0x21), 0x0BCD);
}

TEST_F(Parameters, NibbleSetterWithoutTheRegisterWritesNothing) {
  unit().SetRegister(0x21, 0x5678);
  unit().FailControl(1, 1, kRegRead);  // the bank read passes, the register read fails
  EXPECT_EQ(QEL_Set_NoiseReduction(1), 1);
  EXPECT_TRUE(OfRequest(kRegWrite).empty());
  EXPECT_EQ(unit().Register(0x21), 0x5678);
}

TEST_F(Parameters, ShadowFollowsOnlyShadowedRegisters) {
  const Bytes awbBefore = ShadowOf(0x10);
  const Bytes correctionBefore = ShadowOf(0x23);
  ASSERT_EQ(QEL_Set_AWB(0x0102), 0);
  ASSERT_EQ(QEL_Set_DP_Corr(1), 0);
  EXPECT_EQ(ShadowOf(0x10), awbBefore);
  EXPECT_EQ(ShadowOf(0x23), correctionBefore);
  ASSERT_EQ(QEL_Set_CIS_VoutCurrent(3), 0);
  EXPECT_EQ(ShadowOf(0x24), (Bytes{0x00, 0x03}));

  // A getter refreshes the shadow from the unit; a failed write leaves it alone.
  unit().SetRegister(0x03, 0x0321);
  int value = 0;
  ASSERT_EQ(QEL_Get_ExposureTime(&value), 0);
  EXPECT_EQ(ShadowOf(0x03), (Bytes{0x03, 0x21}));
  unit().FailControl(0, 1, kRegWrite);
  EXPECT_EQ(QEL_Set_ExposureTime(5), 1);
  EXPECT_EQ(ShadowOf(0x03), (Bytes{0x03, 0x21}));
}

TEST_F(Parameters, FailedOrImpossibleReadsReportZero) {
  unit().SetRegister(0x03, 500);
  unit().FailControl(1, 1, kRegRead);
  int value = 9;
  EXPECT_EQ(QEL_Get_ExposureTime(&value), 1);
  EXPECT_EQ(value, 0);

  unit().SetPlugged(false);
  ASSERT_TRUE(WaitFor([] { return !Connected(); }));
  value = 9;
  EXPECT_EQ(QEL_Get_Gamma(&value), 1);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(QEL_Set_ExposureTime(1), 1);
  EXPECT_EQ(QEL_Set_Gamma(1), 1);
}

TEST_F(Parameters, DataFormatTravelsAsStatusItemTwo) {
  ASSERT_EQ(QEL_Set_DataFormat(0x101), 0);
  auto items = OfRequest(0x13);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].setup.index, 2);
  EXPECT_EQ(items[0].data, (Bytes{0x00, 0x01, 0x00}));
  int format = 0;
  EXPECT_EQ(QEL_Get_DataFormat(&format), 0);
  EXPECT_EQ(format, 1);
  unit().FailControl(0, 1, 0x12);
  EXPECT_EQ(QEL_Get_DataFormat(&format), 1);
  EXPECT_EQ(format, 0);
}

TEST_F(Parameters, DefectTablesMoveInTwoChunksAtTheirBase) {
  Bytes table(128);
  std::iota(table.begin(), table.end(), 0);
  ASSERT_EQ(QEL_Set_DP_Table(7, table.data()), 0);  // anything but 1 is table 0
  EXPECT_EQ(IndicesOf(kRegWrite), (std::vector<uint16_t>{0x100, 0x120}));
  EXPECT_EQ(unit().Register(0x100), 0x0001);
  EXPECT_EQ(unit().Register(0x13F), 0x7E7F);

  unit().ClearLog();
  Bytes back(128);
  ASSERT_EQ(QEL_Get_DP_Table(1, back.data()), 0);
  EXPECT_EQ(IndicesOf(kRegRead), (std::vector<uint16_t>{0x200, 0x220}));
  EXPECT_EQ(back[0], 0x01);
  EXPECT_EQ(back[1], 0xFF);
}

TEST_F(Parameters, GammaTablesStopAtTheFirstFailedTransfer) {
  Bytes table(8192);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(QEL_Set_Gamma_Table(2, table.data()), 0);
  const auto writes = IndicesOf(kRegWrite);
  ASSERT_EQ(writes.size(), 128u);
  for (size_t i = 0; i < writes.size(); ++i) EXPECT_EQ(writes[i], 0xE000 + 32 * i);
  EXPECT_EQ(unit().Register(0xEFFF), table[8190] << 8 | table[8191]);

  unit().ClearLog();
  unit().FailControl(5, 1, kRegRead);
  Bytes back(8192, 0xAA);
  EXPECT_EQ(QEL_Get_Gamma_Table(1, back.data()), 1);
  EXPECT_EQ(IndicesOf(kRegRead),
            (std::vector<uint16_t>{0xD000, 0xD020, 0xD040, 0xD060, 0xD080, 0xD0A0}));
  EXPECT_EQ(back[0] << 8 | back[1], unit().Register(0xD000));
  EXPECT_EQ(back[5 * 64], 0xAA);  // nothing from the failed transfer on
}

}  // namespace
}  // namespace qeltest
