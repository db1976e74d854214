// The simulated unit as a test instrument, seen through the library's public functions: change
// bits on demand, how busy operations end, injected frames, EEPROM states and contents per head,
// state kept in a file, rate changes, automatic control modes and the transfer log.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FrameHelpers.h"
#include "SimFixture.h"
#include "TransferLog.h"
#include "sim/Sim.h"

namespace qeltest {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class SimInstrument : public SimFixture {
 protected:
  // Waits for a frame newer than the one last read and copies it.
  std::vector<uint8_t> NextFrame() {
    std::vector<uint8_t> frame(kFrame160K);
    unsigned int length = 0;
    int result = 1;
    const auto end = steady_clock::now() + milliseconds(3000);
    while ((result = QEL_GetFrame(frame.data(), kFrame160K, &length)) != 0 &&
           steady_clock::now() < end) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    EXPECT_EQ(result, 0) << "no new frame";
    frame.resize(length);
    return frame;
  }
};

TEST_F(SimInstrument, ChangeBitsRaisedOnDemandAreReportedOnce) {
  unsigned char mask[6] = {};
  ASSERT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 0);  // collect what start-up raised
  unit().RaiseChangeMask((uint64_t{1} << 47) | (uint64_t{1} << 16) | 1);
  ASSERT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 0);
  EXPECT_EQ(Bytes(mask, mask + 6), (Bytes{0x01, 0, 0x01, 0, 0, 0x80}));
  ASSERT_EQ(QEL_GetFpgaStatus(sizeof mask, mask), 0);
  EXPECT_EQ(Bytes(mask, mask + 6), Bytes(6, 0));
}

// Each busy operation, started and polled as the viewer does, ends as its mode says.
TEST_F(SimInstrument, BusyOperationsEndAsTheirModeSays) {
  struct Op {
    sim::Operation op;
    int (*start)(int);
    int (*poll)(int*);
    int busyValue;
  };
  const Op ops[] = {
      {sim::Operation::WhiteBalance, QEL_Set_AWB, QEL_Get_AWB, 1},
      {sim::Operation::FpnAcquisition, QEL_Set_FPN_Data_Acquisition, QEL_Get_FPN_Data_Acquisition,
       1},
      {sim::Operation::ManualDetect, QEL_Set_CIS_ManualDetect, QEL_Get_CIS_ManualDetect, 1},
  };
  for (const Op& op : ops) {
    SCOPED_TRACE(static_cast<int>(op.op));
    int value = -1;
    unit().SetOperationMode(op.op, sim::OperationMode::Immediate);
    ASSERT_EQ(op.start(1), 0);
    EXPECT_EQ(op.poll(&value), 0);
    EXPECT_EQ(value, 0) << "finished at once";

    unit().SetOperationMode(op.op, sim::OperationMode::Never);
    ASSERT_EQ(op.start(1), 0);
    std::this_thread::sleep_for(milliseconds(600));  // longer than any usual run
    EXPECT_EQ(op.poll(&value), 0);
    EXPECT_EQ(value, op.busyValue) << "still running";
    ASSERT_EQ(op.start(0), 0);

    unit().SetOperationMode(op.op, sim::OperationMode::FailPoll);
    ASSERT_EQ(op.start(1), 0);
    EXPECT_EQ(op.poll(&value), 1) << "the poll fails";
    unit().SetOperationMode(op.op, sim::OperationMode::Normal);
    ASSERT_TRUE(WaitFor([&] { return op.poll(&value) == 0 && value == 0; }));
  }
}

TEST_F(SimInstrument, InjectedFramesArriveWordForWordThenTheSceneResumes) {
  std::vector<uint8_t> frame = unit().UniformFrame(0x8000, 0xFFC0);
  ASSERT_EQ(frame.size(), kFrame40K);
  frame[0] = 0x01;  // a bad first marker word
  unit().InjectFrames(frame, 2);
  NextFrame();  // a frame may have been under way before the injection
  std::vector<uint8_t> got = NextFrame();
  if (got != frame) got = NextFrame();
  EXPECT_EQ(got, frame);
  EXPECT_EQ(Word(got.data(), 3), 0xFFC0);
  std::vector<uint8_t> later;
  for (int i = 0; i < 3; ++i) later = NextFrame();
  EXPECT_TRUE(FrameLooksRight(later.data(), static_cast<uint32_t>(later.size())));

  unit().SetHead(1);
  EXPECT_EQ(unit().UniformFrame(0, 0x0040).size(), kFrame160K);
}

TEST_F(SimInstrument, UnitEepromStatesShowInTheStatusAndRefuseAccess) {
  unsigned char status[16] = {};
  unsigned char byte = 0;
  unit().SetUnitEepromAbsent(true);
  ASSERT_EQ(QEL_GetDevStatus(sizeof status, status), 0);
  EXPECT_EQ(status[3], 3);
  EXPECT_EQ(QEL_EepromRead(0, 0, 1, &byte), 1);
  unit().SetUnitEepromAbsent(false);
  unit().SetEepromError(0, true);
  ASSERT_EQ(QEL_GetDevStatus(sizeof status, status), 0);
  EXPECT_EQ(status[3], 2);
  EXPECT_EQ(QEL_EepromRead(0, 0, 1, &byte), 1);
  unit().SetEepromError(0, false);
  ASSERT_EQ(QEL_GetDevStatus(sizeof status, status), 0);
  EXPECT_EQ(status[3], 0);
}

TEST_F(SimInstrument, EachHeadKeepsItsOwnEeprom) {
  char serial[16] = {};
  ASSERT_EQ(QEL_Save_CIS_SerialNo("HEAD-FORTY"), 0);
  unit().SetHead(1);
  unit().SetCisEeprom(1);  // the 160K head is blank
  int state = -1;
  ASSERT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
  EXPECT_EQ(state, 1);
  unit().SetHead(-1);
  unit().SetHead(0);
  ASSERT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
  EXPECT_EQ(state, 2);
  ASSERT_EQ(QEL_Load_CIS_SerialNo(serial), 0);
  EXPECT_STREQ(serial, "HEAD-FORTY");
}

TEST_F(SimInstrument, PreloadedEepromsReadBackWithErasedRest) {
  const Bytes unitBytes{1, 2, 3};
  ASSERT_TRUE(unit().PreloadEeprom(0, unitBytes));
  Bytes got(5);
  ASSERT_EQ(QEL_EepromRead(0, 0, 5, got.data()), 0);
  EXPECT_EQ(got, (Bytes{1, 2, 3, 0xFF, 0xFF}));
  ASSERT_TRUE(unit().PreloadEeprom(1, Bytes(4096, 0x5A)));
  ASSERT_EQ(QEL_EepromRead(1, 4094, 2, got.data()), 0);
  EXPECT_EQ(got[1], 0x5A);
  EXPECT_FALSE(unit().PreloadEeprom(1, Bytes(4097, 0)));
}

TEST_F(SimInstrument, StateFileKeepsEepromsAcrossProcesses) {
  char dir[] = "/tmp/qelsim-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/unit.state";
  ASSERT_EQ(QELSIM_SetStateFile(path.c_str()), 0);
  ASSERT_EQ(QEL_Set_BlackLevel(77), 0);
  ASSERT_EQ(QEL_Save_Param(0), 0);
  ASSERT_EQ(QEL_Save_CIS_SerialNo("KEPT"), 0);
  ASSERT_EQ(QEL_Set_ExposureTime(222), 0);  // registers stay as on a unit that stays powered

  // A fresh unit, as in the next process, reads the file back.
  QEL_Term();
  unit().Reset();
  ASSERT_EQ(QELSIM_SetStateFile(path.c_str()), 0);
  ASSERT_EQ(QEL_Init(), 0);
  ASSERT_TRUE(WaitFor(Connected));
  int exposure = 0;
  ASSERT_EQ(QEL_Get_ExposureTime(&exposure), 0);
  EXPECT_EQ(exposure, 222);
  ASSERT_EQ(QEL_Load_Param(0), 0);
  int black = 0;
  ASSERT_EQ(QEL_Get_BlackLevel(&black), 0);
  EXPECT_EQ(black, 77);
  char serial[16] = {};
  ASSERT_EQ(QEL_Load_CIS_SerialNo(serial), 0);
  EXPECT_STREQ(serial, "KEPT");

  // A file that is not a state file is refused and left as it was.
  const std::string other = std::string(dir) + "/notes.txt";
  std::FILE* f = std::fopen(other.c_str(), "w");
  std::fputs("keep me", f);
  std::fclose(f);
  unit().Reset();
  EXPECT_EQ(QELSIM_SetStateFile(other.c_str()), -1);
  EXPECT_EQ(QELSIM_SetStateFile(nullptr), -1);
  f = std::fopen(other.c_str(), "r");
  char text[16] = {};
  ASSERT_NE(std::fgets(text, sizeof text, f), nullptr);
  std::fclose(f);
  EXPECT_STREQ(text, "keep me");
  std::remove(other.c_str());
  std::remove(path.c_str());
  rmdir(dir);
}

TEST_F(SimInstrument, FrameRateChangeTakesEffectAtOnce) {
  QEL_HANDLE sem = nullptr;
  ASSERT_EQ(QEL_GetDataSemaphoHandle(&sem), 0);
  ASSERT_TRUE(WaitData(sem, 2000));
  ASSERT_EQ(QELSIM_SetFrameRate(500), 0);  // a frame every 2 s
  ASSERT_TRUE(WaitData(sem, 2000));        // the frame already due at the old rate
  DrainData(sem);
  const auto changed = steady_clock::now();
  ASSERT_EQ(QELSIM_SetFrameRate(30000), 0);
  ASSERT_TRUE(WaitData(sem, 3000));
  EXPECT_LT(steady_clock::now() - changed, milliseconds(500));
}

// Pair 0 of a 40K colour frame is a ring pixel and image column 0: its chroma must be the
// image's, not neutral ring chroma mixed with the scene's.
TEST_F(SimInstrument, OuterColumnsOf40KFramesCarryTheImagesChroma) {
  const std::vector<uint8_t> frame = NextFrame();
  ASSERT_EQ(frame.size(), kFrame40K);
  double edgeToNeighbour = 0, neutralToNeighbour = 0;
  for (size_t y = 1; y < 201; ++y) {
    const size_t row = y * 202;
    const int cbEdge = Word(frame.data(), 2 * row) >> 4;          // pixel 0, Cb of pair 0
    const int cbNext = Word(frame.data(), 2 * (row + 2)) >> 4;    // pixel 2, Cb of pair 1
    const int crEdge = Word(frame.data(), 2 * (row + 201)) >> 4;  // pixel 201, Cr of pair 100
    const int crNext = Word(frame.data(), 2 * (row + 199)) >> 4;  // pixel 199, Cr of pair 99
    edgeToNeighbour += std::abs(cbEdge - cbNext) + std::abs(crEdge - crNext);
    neutralToNeighbour += std::abs(2048 - cbNext) + std::abs(2048 - crNext);
  }
  ASSERT_GT(neutralToNeighbour, 200 * 40) << "the scene has colour at its edges";
  EXPECT_LT(edgeToNeighbour, neutralToNeighbour / 4);
}

// Automatic control follows the gain/exposure and light control modes of both head types.
TEST_F(SimInstrument, AutomaticControlFollowsTheControlModes) {
  // Brighter is reached with exposure first; from the longest exposure only gain can help.
  struct Case {
    int head, gainMode, lightMode, exposureStart;
    bool gainMoves, exposureMoves, lightMoves;
  };
  const Case cases[] = {
      {0, 0, 0, 100, false, false, false}, {0, 3, 0, 100, true, false, false},
      {0, 1, 0, 100, true, false, false},  {1, 0, 0, 100, false, false, false},
      {1, 1, 0, 100, false, true, false},  {1, 1, 0, 438, false, false, false},
      {1, 3, 0, 100, false, true, false},  {1, 3, 0, 438, true, false, false},
      {1, 2, 0, 438, true, false, false},  {0, 0, 1, 100, false, false, true},
      {0, 0, 2, 100, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "head " << c.head << " modes " << c.gainMode << "/"
                                    << c.lightMode << " exposure " << c.exposureStart);
    unit().SetHead(c.head);
    // Far from every target: dark light, low gain, short exposure, a high target.
    ASSERT_EQ(QEL_Set_ControlMode(0, 0), 0);
    ASSERT_EQ(QEL_Set_ControlMode(1, 0), 0);
    ASSERT_EQ(QEL_Set_RawGain(32), 0);
    ASSERT_EQ(QEL_Set_ExposureTime(c.exposureStart), 0);
    ASSERT_EQ(QEL_Set_LightLevel(200), 0);
    ASSERT_EQ(QEL_Set_AGC_AEC_Target(3500), 0);
    ASSERT_EQ(QEL_Set_ALC_Target(3500), 0);
    ASSERT_EQ(QEL_Set_ControlMode(0, c.gainMode), 0);
    ASSERT_EQ(QEL_Set_ControlMode(1, c.lightMode), 0);
    std::this_thread::sleep_for(milliseconds(300));
    int gain = 0, exposure = 0, light = 0;
    ASSERT_EQ(QEL_Get_RawGain(&gain), 0);
    ASSERT_EQ(QEL_Get_ExposureTime(&exposure), 0);
    ASSERT_EQ(QEL_Get_LightLevel(&light), 0);
    EXPECT_EQ(gain != 32, c.gainMoves) << gain;
    EXPECT_EQ(exposure != c.exposureStart, c.exposureMoves) << exposure;
    EXPECT_EQ(light != 200, c.lightMoves) << light;
  }
}

TEST_F(SimInstrument, TransferLogIsOffUnlessTurnedOnAndShowsRefusedTransfers) {
  unit().SetLogging(false);
  unit().ClearLog();
  int value = 0;
  ASSERT_EQ(QEL_Get_BlackLevel(&value), 0);
  EXPECT_TRUE(unit().Log().empty());

  unit().SetLogging(true);
  std::unique_ptr<usb::Device> device;
  auto backend = sim::CreateBackend();
  ASSERT_EQ(backend->Open(device), usb::OpenResult::Ok);
  unit().SetPlugged(false);
  unit().SetPlugged(true);
  uint8_t data[2] = {};
  EXPECT_FALSE(device->ControlTransfer({0xC0, 0x18, 0, 0x02, 2}, data));
  const auto log = unit().Log();
  ASSERT_FALSE(log.empty());
  EXPECT_FALSE(log.back().reached);
  EXPECT_FALSE(log.back().ok);
}

}  // namespace
}  // namespace qeltest
