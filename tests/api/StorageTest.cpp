// Parameter sets and gamma tables in the unit EEPROM: chunk selection per head type, marks,
// load result codes, the register restore, clearing and the gamma areas.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "Core.h"
#include "SimFixture.h"
#include "TransferLog.h"

namespace qeltest {
namespace {

const Bytes kMagic{'Q', 'E', 'L', 0};

class Storage : public SimFixture {
 protected:
  Bytes Stored(uint32_t address, size_t length) { return unit().ReadEeprom(0, address, length); }
  Bytes StoredRegister(uint32_t area, uint16_t reg) { return Stored(area + 64 + 2 * reg, 2); }
  void PutHeader(uint32_t area, Bytes header) { ASSERT_TRUE(unit().WriteEeprom(0, area, header)); }
};

TEST_F(Storage, SaveKeepsTheOtherHeadTypesSetAndMark) {
  unit().SetHead(1);
  ASSERT_EQ(QEL_Set_BlackLevel(77), 0);
  ASSERT_EQ(QEL_Save_Param(0), 0);
  ASSERT_EQ(QEL_Set_BlackLevel(99), 0);  // only in the shadow and the unit from now on

  unit().SetHead(0);
  ASSERT_EQ(QEL_Set_BlackLevel(11), 0);
  unit().ClearLog();
  ASSERT_EQ(QEL_Save_Param(0), 0);
  EXPECT_EQ(IndicesOf(kEepromWrite), (std::vector<uint16_t>{0x4000, 0x4040, 0x4080, 0x40C0, 0x4100,
                                                            0x41C0, 0x4200, 0x4000}));
  EXPECT_EQ(Stored(0x4010, 4), kMagic);
  EXPECT_EQ(Stored(0x4020, 4), kMagic);
  EXPECT_EQ(StoredRegister(0x4000, 0x82), (Bytes{0, 77}));
  EXPECT_EQ(StoredRegister(0x4000, 0x02), (Bytes{0, 11}));

  unit().SetHead(1);
  ASSERT_EQ(QEL_Set_BlackLevel(5), 0);
  unit().ClearLog();
  EXPECT_EQ(QEL_Load_Param(0), 0);
  EXPECT_EQ(unit().Register(0x82), 77);
  EXPECT_EQ(unit().Register(0x02), 11);  // both banks come back

  std::vector<uint16_t> order;
  for (uint16_t bank : {0x00, 0x80}) {
    for (uint16_t r : {0x00, 0x01, 0x02, 0x03, 0x04, 0x09, 0x08, 0x07, 0x06, 0x05, 0x0A, 0x0B, 0x0C,
                       0x0D, 0x0E, 0x0F})
      order.push_back(static_cast<uint16_t>(bank + r));
    for (uint16_t r = 0x11; r <= 0x22; ++r) order.push_back(static_cast<uint16_t>(bank + r));
  }
  order.insert(order.end(), {0xF5, 0xF6, 0xF7});
  EXPECT_EQ(IndicesOf(kRegWrite), order);
  EXPECT_EQ(std::memcmp(qel::Shadow(), Stored(0x4000, 576).data(), 576), 0);
}

TEST_F(Storage, SaveIntoAnEmptyAreaMarksOnlyTheAttachedHeadType) {
  ASSERT_EQ(QEL_Save_Default_Param(0), 0);
  EXPECT_EQ(Stored(0x6000, 6), (Bytes{'Q', 'E', 'L', 0, 1, 0}));
  EXPECT_EQ(Stored(0x6010, 4), kMagic);
  EXPECT_EQ(Stored(0x6020, 4), (Bytes{0, 0, 0, 0}));
  unit().SetHead(1);
  EXPECT_EQ(QEL_Load_Default_Param(0), 6);
  EXPECT_EQ(QEL_Load_Param(0), 2);  // the user area was never written
}

TEST_F(Storage, HeadTypeReadFailingMidSaveDoesNotOverwriteTheOtherSet) {
  unit().SetHead(1);
  unit().FailControl(1, -1, 0x18);  // every register read after the first fails
  ASSERT_EQ(QEL_Save_Param(0), 0);
  unit().ClearFaults();
  EXPECT_EQ(IndicesOf(kEepromWrite), (std::vector<uint16_t>{0x4000, 0x40C0, 0x4100, 0x4140, 0x4180,
                                                            0x41C0, 0x4200, 0x4000}));
  EXPECT_EQ(Stored(0x4010, 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Stored(0x4020, 4), kMagic);
}

// A save stopped after any number of its writes leaves no record a load accepts, and the other
// head type's set keeps its mark for the next complete save.
TEST_F(Storage, AnInterruptedSaveNeverLoads) {
  using Call = int (*)(int);
  for (auto [save, load] :
       {std::pair<Call, Call>{QEL_Save_Param, QEL_Load_Param},
        std::pair<Call, Call>{QEL_Save_Default_Param, QEL_Load_Default_Param}}) {
    unit().SetHead(1);
    ASSERT_EQ(QEL_Set_BlackLevel(77), 0);
    ASSERT_EQ(save(0), 0);
    unit().SetHead(0);
    int stopped = 0;
    int loaded = 0;
    for (int written = 0;; ++written) {
      ASSERT_EQ(QEL_Set_BlackLevel(written + 1), 0);
      unit().FailControl(written, 1, kEepromWrite);
      const int saved = save(0);
      unit().ClearFaults();
      if (saved == 0) break;
      ASSERT_EQ(saved, 7);
      ++stopped;
      unit().ClearLog();
      if (load(0) == 0 || !OfRequest(kRegWrite).empty()) ++loaded;
    }
    EXPECT_EQ(loaded, 0) << "of " << stopped << " interrupted saves loaded";
    unit().SetHead(1);
    EXPECT_EQ(load(0), 0);
    EXPECT_EQ(unit().Register(0x82), 77);
  }
}

TEST_F(Storage, LoadRefusesBadRecordsWithTheirCodes) {
  EXPECT_EQ(QEL_Load_Param(0), 2);  // erased
  PutHeader(0x4000, {'Q', 'E', 'L', 0, 2, 0});
  EXPECT_EQ(QEL_Load_Param(0), 3);
  PutHeader(0x4000, {'Q', 'E', 'L', 0, 1, 1});
  EXPECT_EQ(QEL_Load_Param(0), 4);
  PutHeader(0x4000, {'Q', 'E', 'L', 0, 1, 0});
  EXPECT_EQ(QEL_Load_Param(0), 6);  // no mark for the 40K head

  PutHeader(0x4010, kMagic);
  Bytes before(qel::Shadow(), qel::Shadow() + 576);
  unit().ClearLog();
  unit().FailControl(2, 1, kEepromRead);  // the second of the nine record reads
  EXPECT_EQ(QEL_Load_Param(0), 5);
  EXPECT_EQ(Bytes(qel::Shadow(), qel::Shadow() + 576), before);
  EXPECT_TRUE(OfRequest(kRegWrite).empty());

  unit().FailControl(0, 1, kEepromRead);
  EXPECT_EQ(QEL_Load_Param(0), 1);
}

TEST_F(Storage, RestoreCountsEveryWriteLostWithTheUnit) {
  ASSERT_EQ(QEL_Save_Param(0), 0);
  unit().SetControlHook([](const usb::SetupPacket& setup) {
    if (setup.request == kEepromRead && setup.index == 0x4200) {
      sim::Unit::Instance().SetPlugged(false);  // right after the last record chunk
    }
  });
  EXPECT_EQ(QEL_Load_Param(0), 71);
}

TEST_F(Storage, SaveStopsWithNotReadyOrWriteFailed) {
  unit().FailControl(0, -1, 0x12);  // the ready wait cannot see the EEPROM state
  EXPECT_EQ(QEL_Save_Param(0), 6);
  EXPECT_EQ(QEL_Clear_Param(0), 6);
  EXPECT_EQ(QEL_Save_Gamma_Table(1, Bytes(8192).data()), 6);
  EXPECT_TRUE(OfRequest(kEepromWrite).empty());
  unit().ClearFaults();
  unit().FailControl(2, 1, kEepromWrite);
  EXPECT_EQ(QEL_Save_Param(0), 7);
  EXPECT_EQ(OfRequest(kEepromWrite).size(), 3u);
  unit().FailControl(0, 1, kEepromRead);
  EXPECT_EQ(QEL_Save_Param(0), 1);
}

TEST_F(Storage, AnEepromThatStaysBusyEndsTheWaitWithNotReady) {
  // The unit keeps reporting a write in progress: the save must give up, not hang.
  unit().SetEepromStuckBusy(0, true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QEL_Save_Param(0), 6);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(OfRequest(kEepromWrite).empty());
  unit().SetEepromStuckBusy(0, false);
  EXPECT_EQ(QEL_Save_Param(0), 0);
}

TEST_F(Storage, ClearModeZeroErasesTheHeaderModeOneTheArea) {
  ASSERT_EQ(QEL_Save_Param(0), 0);
  unit().ClearLog();
  ASSERT_EQ(QEL_Clear_Param(0), 0);
  auto writes = OfRequest(kEepromWrite);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].setup.index, 0x4000);
  EXPECT_EQ(writes[0].setup.value, 0);
  EXPECT_EQ(writes[0].data, Bytes(64, 0));
  EXPECT_EQ(QEL_Load_Param(0), 2);

  ASSERT_EQ(QEL_Save_Default_Param(0), 0);
  unit().ClearLog();
  ASSERT_EQ(QEL_Clear_Default_Param(1), 0);
  const auto indices = IndicesOf(kEepromWrite);
  ASSERT_EQ(indices.size(), 128u);
  for (size_t i = 0; i < indices.size(); ++i) EXPECT_EQ(indices[i], 0x6000 + 64 * i);
  EXPECT_EQ(Stored(0x6000, 0x2000), Bytes(0x2000, 0));
  EXPECT_EQ(Stored(0x8000, 1), Bytes{0xFF});
}

TEST_F(Storage, GammaTablesHaveTheirOwnAreas) {
  Bytes table(8192);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i ^ (i >> 8));
  ASSERT_EQ(QEL_Save_Gamma_Table(5, table.data()), 0);  // anything but 1 and 2 is table 0
  const auto indices = IndicesOf(kEepromWrite);
  ASSERT_EQ(indices.size(), 128u);
  for (size_t i = 0; i < indices.size(); ++i) EXPECT_EQ(indices[i], 0x8000 + 64 * i);
  EXPECT_EQ(Stored(0x8000, 8192), table);

  unit().ClearLog();
  Bytes back(8192);
  ASSERT_EQ(QEL_Load_Gamma_Table(0, back.data()), 0);
  EXPECT_EQ(back, table);
  EXPECT_TRUE(OfRequest(0x12).empty());  // loads do not wait for the EEPROM

  unit().ClearLog();
  ASSERT_EQ(QEL_Load_Gamma_Table(1, back.data()), 0);
  ASSERT_EQ(QEL_Load_Gamma_Table(2, back.data()), 0);
  EXPECT_EQ(IndicesOf(kEepromRead)[0], 0xA000);
  EXPECT_EQ(IndicesOf(kEepromRead)[128], 0xC000);

  unit().FailControl(3, 1, kEepromRead);
  EXPECT_EQ(QEL_Load_Gamma_Table(0, back.data()), 5);
  EXPECT_EQ(QEL_Save_Gamma_Table(0, nullptr), -1);
}

}  // namespace
}  // namespace qeltest

namespace qeltest {
namespace {

// A getter running on another thread (as the viewer's monitor does) must not put a value read
// before a load back into the shadow the load restores from.
TEST_F(Storage, LoadIsNotUndoneByAGetterOnAnotherThread) {
  unit().SetControlLatency(std::chrono::microseconds(0));
  ASSERT_EQ(QEL_Set_ExposureTime(300), 0);
  ASSERT_EQ(QEL_Save_Param(0), 0);
  unit().SetLogging(false);

  std::atomic<bool> run{true};
  std::thread reader([&] {
    int value = 0;
    while (run) QEL_Get_ExposureTime(&value);
  });
  int lost = 0;
  constexpr int kLoads = 100;
  for (int i = 0; i < kLoads; ++i) {
    ASSERT_EQ(QEL_Set_ExposureTime(400 + i), 0);
    ASSERT_EQ(QEL_Load_Param(0), 0);
    int value = 0;
    ASSERT_EQ(QEL_Get_ExposureTime(&value), 0);
    if (value != 300) ++lost;
  }
  run = false;
  reader.join();
  EXPECT_EQ(lost, 0) << "loads whose restored value was replaced by an older one";
  ASSERT_EQ(QEL_Save_Param(0), 0);
  EXPECT_EQ(StoredRegister(0x4000, 0x03), (Bytes{300 >> 8, 300 & 0xFF}));
}

}  // namespace
}  // namespace qeltest
