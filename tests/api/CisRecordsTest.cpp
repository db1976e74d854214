// Records in the CIS head's EEPROM: check states, format, single records and defect tables.
#include <cstring>

#include "SimFixture.h"
#include "TransferLog.h"

namespace qeltest {
namespace {

class CisRecords : public SimFixture {
 protected:
  Bytes Head(uint32_t address, size_t length) { return unit().ReadEeprom(1, address, length); }
};

TEST_F(CisRecords, CheckTellsAbsentBlankAndFormattedApart) {
  int state = -1;
  EXPECT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
  EXPECT_EQ(state, 2);

  ASSERT_TRUE(unit().WriteEeprom(1, 5, {1}));
  EXPECT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
  EXPECT_EQ(state, 1);

  unit().SetCisEeprom(0);
  unit().ClearLog();
  EXPECT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
  EXPECT_EQ(state, 0);
  EXPECT_TRUE(OfRequest(kEepromRead).empty());

  unit().SetCisEeprom(2);
  unit().FailControl(0, 1, 0x12);
  EXPECT_EQ(QEL_Check_CIS_EEPROM(&state), -2);
  EXPECT_EQ(state, 0);
  unit().FailControl(0, 1, kEepromRead);
  EXPECT_EQ(QEL_Check_CIS_EEPROM(&state), -2);
  EXPECT_EQ(QEL_Check_CIS_EEPROM(nullptr), -1);
}

TEST_F(CisRecords, InitHeaderOnlyWritesSevenBytes) {
  unit().SetCisEeprom(1);
  unit().ClearLog();
  ASSERT_EQ(QEL_Init_CIS_EEPROM(1), 0);
  auto writes = OfRequest(kEepromWrite);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].setup.value, 0x1000);
  EXPECT_EQ(writes[0].setup.index, 0);
  EXPECT_EQ(writes[0].data, (Bytes{'Q', 'E', 'L', 0, 1, 0, 0}));
  EXPECT_EQ(Head(0x10, 1), Bytes{0xFF});
  int state = 0;
  EXPECT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
  EXPECT_EQ(state, 2);
}

TEST_F(CisRecords, FullInitLeavesBlankRecords) {
  unit().SetCisEeprom(1);
  ASSERT_EQ(QEL_Init_CIS_EEPROM(0), 0);
  EXPECT_EQ(Head(0x10, 14), Bytes(14, 0));
  EXPECT_EQ(Head(0x20, 1), Bytes{0});
  EXPECT_EQ(Head(0x24, 1), Bytes{0});
  EXPECT_EQ(Head(0x30, 6), Bytes(6, 0));
  Bytes table(128);
  for (unsigned t : {0u, 1u}) {
    ASSERT_EQ(QEL_Load_CIS_DP_Table(t, table.data()), 0);
    for (size_t i = 0; i < table.size(); i += 2) {
      ASSERT_EQ(table[i], 0x01);
      ASSERT_EQ(table[i + 1], 0xFF);
    }
  }
  int gain = 5;
  EXPECT_EQ(QEL_Load_CIS_GainRB(1, &gain), 0);
  EXPECT_EQ(gain, 0);

  unit().SetEepromError(1, true);
  EXPECT_EQ(QEL_Init_CIS_EEPROM(0), 1);
}

// A format stopped after any number of its writes leaves a head that checks as blank, or one
// untouched, never one that checks as formatted over the records it did not reach.
TEST_F(CisRecords, AnInterruptedInitNeverChecksAsFormatted) {
  int stopped = 0;
  int formatted = 0;
  for (int written = 0;; ++written) {
    ASSERT_TRUE(unit().SetCisEeprom(2));  // formatted, with sample records
    const Bytes before = Head(0, 0x600);
    unit().FailControl(written, 1, kEepromWrite);
    const int result = QEL_Init_CIS_EEPROM(0);
    unit().ClearFaults();
    int state = -1;
    ASSERT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
    if (result == 0) {
      EXPECT_EQ(state, 2);
      break;
    }
    ++stopped;
    formatted += state != 1 && Head(0, 0x600) != before;
  }
  EXPECT_EQ(formatted, 0) << "of " << stopped << " interrupted formats";
}

TEST_F(CisRecords, SingleRecordsAreCutToTheirFields) {
  int value = 0;
  ASSERT_EQ(QEL_Save_CIS_GainRB(0, -12), 0);
  EXPECT_EQ(Head(0x30, 2), (Bytes{0x01, 0x0C}));
  EXPECT_EQ(QEL_Load_CIS_GainRB(0, &value), 0);
  EXPECT_EQ(value, -12);

  ASSERT_EQ(QEL_Save_CIS_UseCount(300), 0);
  EXPECT_EQ(Head(0x20, 1), Bytes{44});
  EXPECT_EQ(QEL_Load_CIS_UseCount(&value), 0);
  EXPECT_EQ(value, 44);
  ASSERT_EQ(QEL_Save_CIS_UseCountLimit(0x1FF), 0);
  EXPECT_EQ(QEL_Load_CIS_UseCountLimit(&value), 0);
  EXPECT_EQ(value, 0xFF);

  ASSERT_EQ(QEL_Save_CIS_ImageFineAdj(0x12345), 0);
  EXPECT_EQ(Head(0x34, 2), (Bytes{0x23, 0x45}));
  EXPECT_EQ(QEL_Load_CIS_ImageFineAdj(&value), 0);
  EXPECT_EQ(value, 0x2345);

  unit().FailControl(0, 1, kEepromRead);
  value = 9;
  EXPECT_EQ(QEL_Load_CIS_UseCount(&value), 1);
  EXPECT_EQ(value, 0);
}

TEST_F(CisRecords, AHeadEepromThatStaysBusyRefusesTheWrite) {
  unit().SetEepromStuckBusy(1, true);
  EXPECT_EQ(QEL_Save_CIS_UseCount(5), 1);
  unit().SetEepromStuckBusy(1, false);
  int count = -1;
  EXPECT_EQ(QEL_Save_CIS_UseCount(5), 0);
  EXPECT_EQ(QEL_Load_CIS_UseCount(&count), 0);
  EXPECT_EQ(count, 5);
}

TEST_F(CisRecords, SerialNumberIsFourteenBytesAtMost) {
  ASSERT_EQ(QEL_Save_CIS_SerialNo("ABCDEFGHIJKLMNOPQRST"), 0);
  EXPECT_EQ(Head(0x10, 16), (Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M',
                                   'N', 0xFF, 0xFF}));
  char serial[15] = {};
  ASSERT_EQ(QEL_Load_CIS_SerialNo(serial), 0);
  EXPECT_STREQ(serial, "ABCDEFGHIJKLMN");

  // A short text is stored with zeros, not with whatever follows it in memory.
  ASSERT_EQ(QEL_Save_CIS_SerialNo("XY"), 0);
  EXPECT_EQ(Head(0x10, 14), (Bytes{'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(QEL_Save_CIS_SerialNo(nullptr), -1);
}

TEST_F(CisRecords, GainIndexIsExaminedAfterTheReadyWait) {
  EXPECT_EQ(QEL_Save_CIS_GainRB(2, 1), -1);
  EXPECT_FALSE(OfRequest(0x12).empty());
  EXPECT_TRUE(OfRequest(kEepromWrite).empty());

  unit().ClearLog();
  int gain = 0;
  EXPECT_EQ(QEL_Load_CIS_GainRB(2, &gain), -1);
  EXPECT_EQ(QEL_Load_CIS_GainRB(0, nullptr), -1);
  EXPECT_TRUE(unit().Log().empty());

  unit().SetCisEeprom(0);
  EXPECT_EQ(QEL_Save_CIS_GainRB(2, 1), 1);  // the wait fails first
}

TEST_F(CisRecords, DefectTablesMoveInTwoChunksWithTheirCodes) {
  Bytes table(128);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(QEL_Save_CIS_DP_Table(1, table.data()), 0);
  EXPECT_EQ(IndicesOf(kEepromWrite), (std::vector<uint16_t>{0x400, 0x440}));
  EXPECT_EQ(Head(0x400, 128), table);
  unit().ClearLog();
  ASSERT_EQ(QEL_Save_CIS_DP_Table(3, table.data()), 0);
  EXPECT_EQ(IndicesOf(kEepromWrite), (std::vector<uint16_t>{0x200, 0x240}));

  unit().FailControl(1, 1, kEepromWrite);
  EXPECT_EQ(QEL_Save_CIS_DP_Table(0, table.data()), 7);
  unit().FailControl(1, 1, kEepromRead);
  EXPECT_EQ(QEL_Load_CIS_DP_Table(0, table.data()), 5);
  unit().SetEepromError(1, true);
  EXPECT_EQ(QEL_Save_CIS_DP_Table(0, table.data()), 6);
}

}  // namespace
}  // namespace qeltest
