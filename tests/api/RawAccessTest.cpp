// Raw access: setup fields of the register, EEPROM and I2C requests, argument checks, the
// status record and the change mask hand-out.
#include <chrono>
#include <thread>

#include "SimFixture.h"
#include "TransferLog.h"

namespace qeltest {
namespace {

class RawAccess : public SimFixture {
 protected:
  // Starts white balance on the 40K bank; when it finishes the unit reports registers 0x10..0x12
  // in the change mask.
  void ProvokeChange() {
    ASSERT_EQ(QEL_Set_AWB(1), 0);
    std::this_thread::sleep_for(sim::Unit::kAwbTime + std::chrono::milliseconds(50));
  }
};

TEST_F(RawAccess, SetupFieldsCarrySelectorAddressAndDevice) {
  unsigned char buffer[4] = {};
  QEL_EepromRead(1, 0x12345, 4, buffer);
  QEL_EepromWrite(1, 0x12345, 4, buffer);
  const auto log = unit().Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].setup.request, 0x16);
  EXPECT_EQ(log[1].setup.request, 0x17);
  for (const auto& r : log) {
    EXPECT_EQ(r.setup.value, 0x1001);
    EXPECT_EQ(r.setup.index, 0x2345);
    EXPECT_EQ(r.setup.length, 4);
  }

  unit().ClearLog();
  QEL_I2CRead(0xA0, 2, buffer);
  const unsigned char pointer[1] = {0};
  EXPECT_EQ(QEL_I2CWrite(0xD8, 1, pointer), 0);  // 0x58 on the bus
  EXPECT_EQ(IndicesOf(0x14), (std::vector<uint16_t>{0x20}));
  EXPECT_EQ(IndicesOf(0x15), (std::vector<uint16_t>{0x58}));

  unit().ClearLog();
  EXPECT_EQ(QEL_DeviceRead(0x12345, 0x10030, 4, buffer), 0);
  const auto reads = OfRequest(kRegRead);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].setup.value, 0x2345);
  EXPECT_EQ(reads[0].setup.index, 0x0030);
  const unsigned char item[3] = {0, 1, 0};
  EXPECT_EQ(QEL_SetDevStatus(10, item), 0);
  EXPECT_EQ(IndicesOf(0x13), (std::vector<uint16_t>{2}));
  EXPECT_EQ(unit().DataFormat(), 1);
}

TEST_F(RawAccess, LengthsAndBuffersAreCheckedBeforeSending) {
  unsigned char buffer[4] = {};
  EXPECT_EQ(QEL_DeviceRead(0, 0, -1, buffer), -1);
  EXPECT_EQ(QEL_DeviceWrite(0, 0, 65536, buffer), -1);
  EXPECT_EQ(QEL_EepromRead(0, 0, 4, nullptr), -1);
  EXPECT_EQ(QEL_EepromWrite(0, 0, 4, nullptr), -1);
  EXPECT_EQ(QEL_I2CRead(0x48, 2, nullptr), -1);
  EXPECT_EQ(QEL_I2CWrite(0x48, -2, buffer), -1);
  EXPECT_EQ(QEL_GetDevStatus(16, nullptr), -1);
  EXPECT_EQ(QEL_GetFpgaStatus(6, nullptr), -1);
  EXPECT_EQ(QEL_SetDevStatus(2, nullptr), -1);
  EXPECT_TRUE(unit().Log().empty());
  EXPECT_EQ(QEL_DeviceRead(0, 0x30, 0, nullptr), 0);  // an empty data stage is fine
}

TEST_F(RawAccess, DevStatusCopiesAtMostSixteenBytes) {
  unsigned char status[64];
  std::fill(std::begin(status), std::end(status), 0xAA);
  ASSERT_EQ(QEL_GetDevStatus(sizeof status, status), 0);
  EXPECT_EQ(status[0], 1);   // the simulated record's layout byte
  EXPECT_EQ(status[15], 0);  // nothing changed
  EXPECT_EQ(status[16], 0xAA);
  unsigned char small[2] = {0xAA, 0xAA};
  ASSERT_EQ(QEL_GetDevStatus(1, small), 0);
  EXPECT_EQ(small[1], 0xAA);
}

TEST_F(RawAccess, ChangeMaskIsHandedOutOnce) {
  ProvokeChange();
  unsigned char mask[6] = {};
  ASSERT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 0);
  EXPECT_EQ(mask[2] & 0x07, 0x07);  // registers 0x10, 0x11, 0x12
  ASSERT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 0);
  EXPECT_EQ(Bytes(mask, mask + 6), Bytes(6, 0));
}

TEST_F(RawAccess, ChangeSeenByAnEepromWriteWaitIsStillHandedOut) {
  ProvokeChange();
  unit().ClearLog();
  ASSERT_EQ(QEL_Save_CIS_UseCount(3), 0);
  const auto polls = OfRequest(0x12);
  ASSERT_FALSE(polls.empty());
  ASSERT_EQ(polls[0].data[12] & 0x07, 0x07);  // the wait consumed the unit's report

  unsigned char mask[6] = {};
  ASSERT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 0);
  EXPECT_EQ(mask[2] & 0x07, 0x07);
}

TEST_F(RawAccess, FpgaStatusFailsWithoutTheUnitAndKeepsTheMask) {
  ProvokeChange();
  unsigned char status[16];
  ASSERT_EQ(QEL_GetDevStatus(sizeof status, status), 0);  // collected, not handed out
  unit().FailControl(0, 1, 0x12);
  unsigned char mask[6] = {};
  EXPECT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 1);
  ASSERT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 0);
  EXPECT_EQ(mask[2] & 0x07, 0x07);
}

}  // namespace
}  // namespace qeltest
