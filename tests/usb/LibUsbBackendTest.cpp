// The libusb backend end to end: the library and libusb-1.0 over an emulated usbfs node whose
// device side is the simulated unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "sim/SimUnit.h"
#include "tests/api/FrameHelpers.h"
#include "tests/api/SimFixture.h"
#include "tests/qelctl/QelctlRun.h"
#include "usb/Backend.h"
#include "usb/UsbfsNode.h"

namespace {

using namespace std::chrono_literals;
using qeltest::Connected;
using qeltest::FrameIndex;
using qeltest::WaitFor;
using usbtest::UsbfsNode;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kReadSize = 1u << 20;  // every bulk read asks for a whole ring buffer
constexpr uint8_t kIn = 0xC0;
constexpr uint8_t kOut = 0x40;

class NodeEnvironment : public ::testing::Environment {
 public:
  // The test bed must exist before the first libusb context looks for devices.
  void SetUp() override {
    UsbfsNode::Start();
    // qelctl runs under the same preload library, which comes before the sanitizer's runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(),
           1);
  }
  void TearDown() override { UsbfsNode::Stop(); }
};
[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new NodeEnvironment);

sim::Unit& Unit() {
  return sim::Unit::Instance();
}

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Runs call and ends the process with a failure if it has not returned within limit: a call that
// hangs in the library would otherwise hold the suite until the runner's time-out.
void ReturnsWithin(std::chrono::milliseconds limit, const char* what,
                   const std::function<void()>& call) {
  std::atomic<bool> returned{false};
  std::thread watchdog([&] {
    const Clock::time_point deadline = Clock::now() + limit;
    while (!returned.load()) {
      if (Clock::now() >= deadline) {
        std::fprintf(stderr, "%s did not return within %lld ms\n", what,
                     static_cast<long long>(limit.count()));
        std::_Exit(1);
      }
      std::this_thread::sleep_for(1ms);
    }
  });
  call();
  returned.store(true);
  watchdog.join();
}

class LibUsbBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    node = UsbfsNode::Get();
    if (node == nullptr) GTEST_SKIP() << "needs LD_PRELOAD=libumockdev-preload.so.0";
    Unit().Reset();
    Unit().SetLogging(true);  // the instrument of these tests
    node->Reset();
    SetUnitIds(nullptr, nullptr);
    ASSERT_EQ(QELSIM_Enable(0), 0);
  }

  // QEL_USB_IDS and the user's qel/usb-ids file as a user sets them (null: unset, absent); the
  // system's folder holds none.
  static void SetUnitIds(const char* variable, const char* file) {
    const std::string config = ::testing::TempDir() + "config-" + std::to_string(getpid());
    std::filesystem::create_directories(config + "/qel");
    std::filesystem::remove(config + "/qel/usb-ids");
    if (file != nullptr) std::ofstream(config + "/qel/usb-ids") << file;
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (config + "/none").c_str(), 1);
    variable != nullptr ? setenv("QEL_USB_IDS", variable, 1) : unsetenv("QEL_USB_IDS");
  }

  void TearDown() override {
    if (node == nullptr) return;
    QEL_Term();
    Unit().Reset();
    // Every handle the test opened is closed again.
    EXPECT_TRUE(WaitFor([&] { return node->Stats().openHandles == 0; }, 1000));
  }

  void StartLibrary() {
    ASSERT_EQ(QEL_Init(), 0);
    ASSERT_TRUE(WaitFor(Connected)) << "the unit did not connect through libusb";
  }

  // Waits until the counter has advanced by count frames; false on time-out.
  static bool WaitFrames(int count, int timeoutMs = 2000) {
    const int start = FrameIndex();
    return WaitFor([&] { return FrameIndex() - start >= count; }, timeoutMs);
  }

  // The newest frame through QEL_GetFrame, with its reported length; empty before the first.
  static Bytes NewestFrame(uint32_t& length) {
    Bytes frame(kReadSize);
    unsigned int reported = 0;
    if (QEL_GetFrame(frame.data(), kReadSize, &reported) < 0) reported = 0;
    length = reported;
    frame.resize(std::min<size_t>(reported, frame.size()));
    return frame;
  }

  UsbfsNode* node = nullptr;
};

// qelctl under the same test bed. As root it runs without the capabilities that pass over file
// modes, so that a node without access stays closed to it as to a user.
qelctltest::Outcome RunQelctl(const std::vector<std::string>& args) {
  if (geteuid() != 0) return qelctltest::Qelctl(args);
  return qelctltest::Qelctl(args, {"setpriv", "--bounding-set=-dac_override,-dac_read_search"});
}

TEST_F(LibUsbBackend, QelctlDevicesSaysWhetherTheIdsMatchAndTheNodeOpens) {
  struct Case {
    const char* name;
    const char* variable;  // QEL_USB_IDS
    uint16_t vendorId, productId;
    bool denied;  // the node without access
    bool matches;
    const char* err;  // all of stderr
  };
  const Case cases[] = {
      {"other ids, set", "1234:5678", 0x1234, 0x5678, false, true, ""},
      {"other ids, not set", nullptr, 0x1234, 0x5678, false, false, ""},
      {"a malformed setting", "12345678", 0x04B4, 0x1004, false, true,
       "qelctl: QEL_USB_IDS=\"12345678\" is not a list of USB ids like 04b4:1004; it is ignored\n"},
      {"a node without access", nullptr, 0x04B4, 0x1004, true, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    node->SetShape({c.vendorId, c.productId});
    if (c.denied) node->DenyAccess();
    SetUnitIds(c.variable, nullptr);
    Unit().ClearLog();
    const qelctltest::Outcome run = RunQelctl({"devices", "--json", "--probe", "all"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, c.err);
    const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(out.contains("devices") && out["devices"].size() == 1) << run.out;
    const nlohmann::json& device = out["devices"][0];
    EXPECT_EQ(device["matches"], c.matches);
    EXPECT_EQ(device["openError"], c.denied ? nlohmann::json("EACCES") : nlohmann::json());
    // The status request went to the unit exactly when it could be opened, and was answered.
    EXPECT_EQ(device["answersStatus"], c.denied ? nlohmann::json() : nlohmann::json(true));
    EXPECT_EQ(Unit().Log().size(), c.denied ? 0u : 1u);
  }
}

// ---- Control transfers ----

struct ControlCase {
  const char* name;
  std::function<int(Bytes& in)> call;  // in: the caller's buffer of an IN request
  usb::SetupPacket setup;              // as the unit must receive it
  Bytes out;                           // data stage of an OUT request
};

std::vector<ControlCase> ControlCases() {
  return {
      {"device information",
       [](Bytes& in) { return QEL_GetDevInfo(48, in.data()); },
       {kIn, 0x10, 0, 0, 48},
       {}},
      {"format record 1 from index 3",
       [](Bytes& in) { return QEL_GetDevFormatInfo(3, 8, in.data()); },
       {kIn, 0x11, 0, 1, 8},
       {}},
      {"device status",
       [](Bytes& in) { return QEL_GetDevStatus(16, in.data()); },
       {kIn, 0x12, 0, 0, 16},
       {}},
      {"set status item 2",
       [](Bytes&) {
         const uint8_t item[3] = {0, 1, 0};
         return QEL_SetDevStatus(2, item);
       },
       {kOut, 0x13, 0, 2, 3},
       {0, 1, 0}},
      {"I2C read",
       [](Bytes& in) { return QEL_I2CRead(0x48, 2, in.data()); },
       {kIn, 0x14, 0, 0x48, 2},
       {}},
      {"I2C write",
       [](Bytes&) {
         const uint8_t data[2] = {0x08, 0x35};
         return QEL_I2CWrite(0x58, 2, data);
       },
       {kOut, 0x15, 0, 0x58, 2},
       {0x08, 0x35}},
      {"unit EEPROM read at 0xA1234",
       [](Bytes& in) { return QEL_EepromRead(0, 0xA1234, 4, in.data()); },
       {kIn, 0x16, 0x000A, 0x1234, 4},
       {}},
      {"CIS EEPROM read at 0x123",
       [](Bytes& in) { return QEL_EepromRead(1, 0x123, 3, in.data()); },
       {kIn, 0x16, 0x1000, 0x0123, 3},
       {}},
      {"unit EEPROM write at 0x30010",
       [](Bytes&) {
         const uint8_t data[3] = {0x11, 0x22, 0x33};
         return QEL_EepromWrite(0, 0x30010, 3, data);
       },
       {kOut, 0x17, 0x0003, 0x0010, 3},
       {0x11, 0x22, 0x33}},
      {"register read with a caller's value",
       [](Bytes& in) { return QEL_DeviceRead(0x0007, 0xF4, 2, in.data()); },
       {kIn, 0x18, 0x0007, 0x00F4, 2},
       {}},
      {"register write",
       [](Bytes&) {
         const uint8_t data[2] = {0x01, 0x90};
         return QEL_DeviceWrite(0x0005, 0x0003, 2, data);
       },
       {kOut, 0x19, 0x0005, 0x0003, 2},
       {0x01, 0x90}},
  };
}

// Requests travel while the acquisition thread streams, so libusb's event handling is shared
// between the caller and the reading thread as in the product.
TEST_F(LibUsbBackend, ControlRequestsReachTheUnitAsSentAndInDataReachesTheCaller) {
  StartLibrary();
  ASSERT_TRUE(WaitFrames(1));
  for (const ControlCase& c : ControlCases()) {
    SCOPED_TRACE(c.name);
    Unit().ClearLog();
    Bytes in(c.setup.length, 0xEE);
    ASSERT_EQ(c.call(in), 0);
    const std::vector<sim::TransferRecord> log = Unit().Log();
    ASSERT_EQ(log.size(), 1u);
    const sim::TransferRecord& r = log.front();
    EXPECT_EQ(r.setup.requestType, c.setup.requestType);
    EXPECT_EQ(r.setup.request, c.setup.request);
    EXPECT_EQ(r.setup.value, c.setup.value);
    EXPECT_EQ(r.setup.index, c.setup.index);
    EXPECT_EQ(r.setup.length, c.setup.length);
    EXPECT_TRUE(r.ok);
    if (c.setup.requestType == kOut) {
      EXPECT_EQ(r.data, c.out);
    } else {
      EXPECT_EQ(in, r.data) << "the caller must get the bytes the unit returned";
    }
  }
}

TEST_F(LibUsbBackend, StalledControlRequestGivesOneAndLeavesTheBufferAlone) {
  StartLibrary();
  struct Case {
    const char* name;
    uint8_t request;
    std::function<int(Bytes&)> call;
  };
  const Case cases[] = {
      {"device information", 0x10, [](Bytes& in) { return QEL_GetDevInfo(48, in.data()); }},
      {"register read", 0x18, [](Bytes& in) { return QEL_DeviceRead(0, 0xF4, 2, in.data()); }},
      {"I2C write", 0x15,
       [](Bytes&) {
         const uint8_t data[2] = {0x08, 0x35};
         return QEL_I2CWrite(0x58, 2, data);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Unit().FailControl(0, 1, c.request);
    Bytes in(48, 0xEE);
    EXPECT_EQ(c.call(in), 1);
    EXPECT_EQ(in, Bytes(48, 0xEE));
    // The pipe recovers: the same request succeeds next time.
    EXPECT_EQ(c.call(in), 0);
  }
  int status = 0;
  EXPECT_EQ(QEL_GetStatus(&status), 0);
  EXPECT_EQ(status, 1) << "a stalled request is no reason to drop the unit";
}

// ---- Frames ----

struct FrameCase {
  const char* name;
  uint32_t caps;
  int head;
  bool shortFrames;
  uint32_t length;  // as the caller must see it
  int urbsPerRead;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
  *os << c.name;
}

class LibUsbFrames : public LibUsbBackend, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(LibUsbFrames, ArriveWholeAndEveryReadAsksForOneMebibyte) {
  const FrameCase& c = GetParam();
  node->SetCapabilities(c.caps);
  ASSERT_TRUE(Unit().SetHead(c.head));
  Unit().SetShortFrames(c.shortFrames);
  Unit().SetFrameRate(0);
  StartLibrary();
  ASSERT_TRUE(WaitFrames(2));

  uint32_t length = 0;
  const Bytes frame = NewestFrame(length);
  ASSERT_EQ(length, c.length);
  EXPECT_EQ(qeltest::Word(frame.data(), 0), 0xFF00);
  EXPECT_EQ(qeltest::Word(frame.data(), 1), 0x0080);
  if (!c.shortFrames) {
    EXPECT_TRUE(qeltest::FrameLooksRight(frame.data(), length));
  }
  EXPECT_TRUE(qeltest::FrameIsWhole(frame.data(), length))
      << "the pieces of one frame must come from one bulk transfer, in order";

  const usbtest::NodeStats stats = node->Stats();
  ASSERT_FALSE(stats.bulkReads.empty());
  for (const usbtest::BulkRead& read : stats.bulkReads) {
    EXPECT_EQ(read.length, kReadSize);
    EXPECT_EQ(read.urbs, c.urbsPerRead);
  }
}

constexpr uint32_t kShortFrame40K = 202 * 202 * 4 / 2;

INSTANTIATE_TEST_SUITE_P(
    Frames, LibUsbFrames,
    ::testing::Values(
        FrameCase{"40K_OneUrb", usbtest::kCapsScatterGather, 0, false, 163216, 1},
        FrameCase{"160K_OneUrb", usbtest::kCapsScatterGather, 1, false, 652864, 1},
        FrameCase{"Short_OneUrb", usbtest::kCapsScatterGather, 0, true, kShortFrame40K, 1},
        FrameCase{"40K_16KiBUrbs", usbtest::kCapsSplitUrbs, 0, false, 163216, 64},
        FrameCase{"160K_16KiBUrbs", usbtest::kCapsSplitUrbs, 1, false, 652864, 64},
        FrameCase{"Short_16KiBUrbs", usbtest::kCapsSplitUrbs, 0, true, kShortFrame40K, 64}),
    [](const ::testing::TestParamInfo<FrameCase>& param) { return std::string(param.param.name); });

// Bytes that differ from their neighbours and from those one 16 KiB URB or 64 KiB away.
Bytes Pattern(uint32_t length) {
  Bytes bytes(length);
  for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 14) * 7);
  return bytes;
}

TEST_F(LibUsbBackend, FramesArriveByteForByteAndLongOnesAreCutAtOneMebibyte) {
  struct Size {
    const char* name;
    uint32_t sent;
    uint32_t received;
  };
  const Size sizes[] = {
      {"an odd length", 300001, 300001},
      {"a whole number of 16 KiB URBs", 3 * 16384, 3 * 16384},
      {"longer than a read", kReadSize + 4096, kReadSize},
  };
  Unit().SetFrameRate(0);
  for (const uint32_t caps : {usbtest::kCapsScatterGather, usbtest::kCapsSplitUrbs}) {
    SCOPED_TRACE(caps == usbtest::kCapsScatterGather ? "one URB" : "16 KiB URBs");
    node->SetCapabilities(caps);
    StartLibrary();
    for (const Size& size : sizes) {
      SCOPED_TRACE(size.name);
      const Bytes sent = Pattern(size.sent);
      const Bytes expected(sent.begin(), sent.begin() + size.received);
      Unit().InjectFrames(sent);
      // The frame that was under way when the bytes were set may still be the old one.
      ASSERT_TRUE(WaitFrames(2));
      uint32_t length = 0;
      EXPECT_TRUE(NewestFrame(length) == expected) << "the frame did not arrive as sent";
      EXPECT_EQ(length, size.received);
    }
    ASSERT_EQ(QEL_Term(), 0);
  }
}

TEST_F(LibUsbBackend, SilentStreamIsCancelledAfterThreeSecondsAndReadAgain) {
  StartLibrary();
  ASSERT_TRUE(WaitFrames(1));
  Unit().SetStreamStalled(true);
  const Clock::time_point stalled = Clock::now();
  ASSERT_TRUE(WaitFor([&] { return node->Stats().bulkDiscards > 0; }, 5000))
      << "the silent read was never cancelled";
  EXPECT_GE(MsSince(stalled), 2500) << "the read must wait its three seconds";
  const size_t reads = node->Stats().bulkReads.size();
  EXPECT_TRUE(WaitFor([&] { return node->Stats().bulkReads.size() > reads; }, 500))
      << "no read was issued after the cancel";
  EXPECT_TRUE(Connected()) << "a silent stream is no reason to drop the unit";

  Unit().SetStreamStalled(false);
  EXPECT_TRUE(WaitFrames(2));
}

// ---- Removal ----

TEST_F(LibUsbBackend, UnplugAndReplugReconnectWithinAPresenceCycle) {
  StartLibrary();
  ASSERT_TRUE(WaitFrames(2));
  node->Unplug();
  ASSERT_TRUE(WaitFor([] { return !Connected(); }, 1000));
  const Clock::time_point removed = Clock::now();
  uint8_t info[48];
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, info), 1);
  EXPECT_TRUE(WaitFor([&] { return node->Stats().openHandles == 0; }, 1000))
      << "the dead handle must be closed";

  node->Plug();
  ASSERT_TRUE(WaitFor(Connected, 1000));
  // The status stays 0 for 200 ms after the removal, then one 50 ms cycle plus the open, with
  // room for a loaded machine.
  EXPECT_LT(MsSince(removed), 450);
  EXPECT_EQ(node->Stats().openHandles, 1);
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, info), 0);
  EXPECT_TRUE(WaitFrames(2)) << "frames must flow on the new handle";
}

// ---- Faults on the bus ----

enum class Probe { kControl, kStream, kOpen, kUnplugInControl };

struct FaultCase {
  const char* name;
  usbtest::NodeFaults faults;
  Probe probe;
};

// Each fault fails what meets it, with no crash, no hang and no wrong data; once it goes, the
// unit works again without being re-plugged (or, pulled, once plugged again).
TEST_F(LibUsbBackend, FaultsFailCleanlyAndTheUnitRecoversOnceTheyGo) {
  const FaultCase cases[] = {
      {"babble on the bulk endpoint", {.bulkStatus = -EOVERFLOW}, Probe::kStream},
      {"a stall on the bulk endpoint", {.bulkStatus = -EPIPE}, Probe::kStream},
      {"EPROTO on the bulk endpoint", {.bulkStatus = -EPROTO}, Probe::kStream},
      {"EILSEQ on the bulk endpoint", {.bulkStatus = -EILSEQ}, Probe::kStream},
      {"ETIME on the bulk endpoint", {.bulkStatus = -ETIME}, Probe::kStream},
      {"EPROTO on a control request", {.controlStatus = -EPROTO}, Probe::kControl},
      {"EILSEQ on a control request", {.controlStatus = -EILSEQ}, Probe::kControl},
      {"ETIME on a control request", {.controlStatus = -ETIME}, Probe::kControl},
      {"a short control IN read", {.controlShortBy = 1}, Probe::kControl},
      {"a control request that never answers", {.controlSilent = true}, Probe::kControl},
      {"an unplug during a control request", {.controlSilent = true}, Probe::kUnplugInControl},
      {"a claim refused with EBUSY", {.claimError = EBUSY}, Probe::kOpen},
      {"an open refused with EACCES", {.openError = EACCES}, Probe::kOpen},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    QEL_Term();
    node->Reset();
    Bytes info(48, 0xEE);
    if (c.probe == Probe::kOpen) {
      node->SetFaults(c.faults);
      ASSERT_EQ(QEL_Init(), 0);
      std::this_thread::sleep_for(300ms);  // six attempts to open
      EXPECT_FALSE(Connected());
      EXPECT_TRUE(WaitFor([&] { return node->Stats().openHandles == 0; }, 1000));
    } else {
      StartLibrary();
      ASSERT_TRUE(WaitFrames(1));
      node->SetFaults(c.faults);
    }
    if (c.probe == Probe::kControl) {
      // A request without an answer ends at the time-out of the control pipe, five seconds.
      ReturnsWithin(8s, "a control request",
                    [&] { EXPECT_EQ(QEL_GetDevInfo(48, info.data()), 1); });
      EXPECT_EQ(info, Bytes(48, 0xEE)) << "a failed request delivers nothing";
      EXPECT_TRUE(Connected());
    } else if (c.probe == Probe::kUnplugInControl) {
      std::atomic<int> result{-5};
      std::thread caller([&] { result = QEL_GetDevInfo(48, info.data()); });
      std::this_thread::sleep_for(100ms);
      node->Unplug();
      EXPECT_TRUE(WaitFor([&] { return result.load() != -5; }, 2000));
      caller.join();
      EXPECT_EQ(result.load(), 1);
      EXPECT_TRUE(WaitFor([] { return !Connected(); }, 1000));
    } else if (c.probe == Probe::kStream) {
      const auto readsAfter = [&](size_t count) {
        const size_t start = node->Stats().bulkReads.size();
        return WaitFor([&] { return node->Stats().bulkReads.size() >= start + count; });
      };
      ASSERT_TRUE(readsAfter(2));  // the read under way may still have ended well
      const int index = FrameIndex();
      ASSERT_TRUE(readsAfter(3));
      EXPECT_EQ(FrameIndex(), index) << "a failed read must not count as a frame";
      EXPECT_TRUE(Connected());
    }

    node->SetFaults({});
    node->Plug();
    ASSERT_TRUE(WaitFor(Connected, 1000));
    EXPECT_EQ(QEL_GetDevInfo(48, info.data()), 0);
    EXPECT_EQ(info[2], sim::Unit::kFirmwareMajor);
    EXPECT_TRUE(WaitFrames(2));
    uint32_t length = 0;
    const Bytes frame = NewestFrame(length);
    EXPECT_TRUE(qeltest::FrameLooksRight(frame.data(), length));
    EXPECT_EQ(node->Stats().clearHalts > 0, c.faults.bulkStatus == -EPIPE);
  }
}

// ---- Stopping with a read outstanding ----

TEST_F(LibUsbBackend, TermWithAReadPendingReturnsPromptlyEvenWhenTheCancelNeverCompletes) {
  struct Case {
    const char* name;
    bool cancelLost;
    int limitMs;
  };
  const Case cases[] = {
      {"cancel completed", false, 500},
      // The cancel is given about a second, then the unit is closed all the same.
      {"cancel never completed", true, 2500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    node->SetDiscardLost(c.cancelLost);
    Unit().SetStreamStalled(false);
    StartLibrary();
    ASSERT_TRUE(WaitFrames(1));
    Unit().SetStreamStalled(true);
    std::this_thread::sleep_for(100ms);  // the next read is issued at once and stays pending

    const usbtest::NodeStats before = node->Stats();
    const Clock::time_point stop = Clock::now();
    ReturnsWithin(5s, "QEL_Term", [] { EXPECT_EQ(QEL_Term(), 0); });
    EXPECT_LT(MsSince(stop), c.limitMs);
    ASSERT_TRUE(WaitFor([&] { return node->Stats().openHandles == 0; }, 1000));
    const usbtest::NodeStats after = node->Stats();
    EXPECT_GT(after.bulkDiscards, before.bulkDiscards)
        << "the pending read must be cancelled, not dropped";
    EXPECT_EQ(after.releases - before.releases, 1)
        << "the interface is released before the handle is closed";
  }
}

// ---- The backend on its own ----

class LibUsbDevice : public LibUsbBackend {
 protected:
  void TearDown() override {
    device.reset();
    backend.reset();
    LibUsbBackend::TearDown();
  }

  void Open() {
    backend = usb::CreatePlatformBackend();
    ASSERT_NE(backend, nullptr);
    ASSERT_EQ(backend->Open(device), usb::OpenResult::Ok);
  }

  std::unique_ptr<usb::Backend> backend;
  std::unique_ptr<usb::Device> device;
};

TEST_F(LibUsbDevice, ReadWhoseCancelIsLostGivesTheUnitUpUntilItIsOpenedAgain) {
  node->SetDiscardLost(true);
  Unit().SetStreamStalled(true);
  Open();
  Bytes buffer(kReadSize, 0x5A);
  ASSERT_TRUE(device->SubmitRead(buffer.data(), kReadSize));
  uint32_t transferred = 0;
  ASSERT_EQ(device->PollRead(transferred, 10), usb::ReadState::Pending);

  ReturnsWithin(5s, "AbortRead", [&] { device->AbortRead(); });
  EXPECT_GE(node->Stats().bulkDiscards, 1);
  EXPECT_FALSE(device->Attached()) << "a read that never let go makes the unit unusable";
  EXPECT_FALSE(device->SubmitRead(buffer.data(), kReadSize));
  Unit().ClearLog();
  uint8_t status[16];
  EXPECT_FALSE(device->ControlTransfer({kIn, 0x12, 0, 0, 16}, status));
  EXPECT_TRUE(Unit().Log().empty()) << "nothing is sent to a unit that was given up";
  device.reset();
  EXPECT_TRUE(WaitFor([&] { return node->Stats().openHandles == 0; }, 1000));

  // The unit itself is fine: opened afresh it streams again.
  node->SetDiscardLost(false);
  Unit().SetStreamStalled(false);
  ASSERT_EQ(backend->Open(device), usb::OpenResult::Ok);
  ASSERT_TRUE(device->SubmitRead(buffer.data(), kReadSize));
  usb::ReadState state = usb::ReadState::Pending;
  const Clock::time_point start = Clock::now();
  while (state == usb::ReadState::Pending && MsSince(start) < 2000) {
    state = device->PollRead(transferred, 1);
  }
  ASSERT_EQ(state, usb::ReadState::Done);
  EXPECT_EQ(transferred, 163216u);
  EXPECT_TRUE(qeltest::FrameLooksRight(buffer.data(), transferred));
}

struct ShapeCase {
  const char* name;
  usbtest::DeviceShape shape;
  int present;
  usb::OpenResult open;
  uint8_t speed;                   // WinUSB's speed code, when the open succeeds
  const char* variable = nullptr;  // QEL_USB_IDS
  const char* file = nullptr;      // the user's qel/usb-ids
};

std::vector<ShapeCase> ShapeCases() {
  usbtest::DeviceShape other = {};
  std::vector<ShapeCase> cases;
  cases.push_back({"the unit at high speed", other, 1, usb::OpenResult::Ok, 3});
  other.speed = "12";
  cases.push_back({"the unit at full speed", other, 1, usb::OpenResult::Ok, 2});
  other.speed = "1.5";
  cases.push_back({"the unit at low speed", other, 1, usb::OpenResult::Ok, 1});
  other = {};
  other.productId = 0x1005;
  cases.push_back({"another product", other, 0, usb::OpenResult::NoDevice, 0});
  other = {};
  other.vendorId = 0x04B5;
  cases.push_back({"another vendor", other, 0, usb::OpenResult::NoDevice, 0});
  other = {};
  other.interfaceClass = 0x00;
  cases.push_back(
      {"an interface that is not vendor-specific", other, 1, usb::OpenResult::Failed, 0});
  other = {};
  other.endpoints.push_back({0x83, 1, 1024});
  cases.push_back({"an isochronous endpoint", other, 1, usb::OpenResult::Failed, 0});
  other = {};
  cases.push_back(
      {"the default ids, others set", other, 0, usb::OpenResult::NoDevice, 0, "1234:5678"});
  cases.push_back({"a malformed setting", other, 1, usb::OpenResult::Ok, 3, "1234:5678,"});
  other.vendorId = 0x1234;
  other.productId = 0x5678;
  cases.push_back(
      {"other ids, set in QEL_USB_IDS", other, 1, usb::OpenResult::Ok, 3, "04b4:1004,1234:5678"});
  cases.push_back({"other ids, set in the user's file", other, 1, usb::OpenResult::Ok, 3, nullptr,
                   "1234:5678\n"});
  return cases;
}

TEST_F(LibUsbDevice, FindsAndOpensOnlyTheUnitAndRecordsItsPipes) {
  for (const ShapeCase& c : ShapeCases()) {
    SCOPED_TRACE(c.name);
    node->SetShape(c.shape);
    SetUnitIds(c.variable, c.file);
    backend = usb::CreatePlatformBackend();
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(backend->CountPresent(), c.present);
    EXPECT_EQ(backend->Open(device), c.open);
    EXPECT_EQ(device != nullptr, c.open == usb::OpenResult::Ok);
    if (device) {
      const usb::PipeInfo pipes = device->Pipes();
      EXPECT_EQ(pipes.bulkIn, 0x82);
      EXPECT_EQ(pipes.bulkOut, 0x02);
      EXPECT_EQ(pipes.interrupt, 0x81);
      EXPECT_EQ(pipes.speed, c.speed);
    }
    device.reset();
    backend.reset();
    EXPECT_TRUE(WaitFor([&] { return node->Stats().openHandles == 0; }, 1000))
        << "a failed open must release what it obtained";
  }
}

}  // namespace
