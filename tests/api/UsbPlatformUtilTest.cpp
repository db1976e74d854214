// Endpoint classification and device path cutting shared by the WinUSB and libusb backends.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "usb/PlatformUtil.h"

namespace {

using usb::EndpointType;
using usb::PipeInfo;
using usb::RecordPipe;

uint8_t Type(EndpointType type) {
  return static_cast<uint8_t>(type);
}

TEST(UsbPlatformUtil, RecordsEachPipeOfTheUnitInterfaceByTypeAndDirection) {
  PipeInfo pipes;
  pipes.speed = 3;
  EXPECT_TRUE(RecordPipe(pipes, Type(EndpointType::Interrupt), 0x81));
  EXPECT_TRUE(RecordPipe(pipes, Type(EndpointType::Bulk), 0x02));
  EXPECT_TRUE(RecordPipe(pipes, Type(EndpointType::Bulk), 0x86));
  EXPECT_EQ(pipes.bulkIn, 0x86);
  EXPECT_EQ(pipes.bulkOut, 0x02);
  EXPECT_EQ(pipes.interrupt, 0x81);
  EXPECT_EQ(pipes.speed, 3);
}

TEST(UsbPlatformUtil, RefusesPipeTypesTheUnitDoesNotHaveAndKeepsWhatWasRecorded) {
  PipeInfo pipes;
  ASSERT_TRUE(RecordPipe(pipes, Type(EndpointType::Bulk), 0x82));
  EXPECT_FALSE(RecordPipe(pipes, Type(EndpointType::Isochronous), 0x83));
  EXPECT_FALSE(RecordPipe(pipes, Type(EndpointType::Control), 0x84));
  EXPECT_EQ(pipes.bulkIn, 0x82);
  EXPECT_EQ(pipes.bulkOut, 0);
  EXPECT_EQ(pipes.interrupt, 0);
}

TEST(UsbPlatformUtil, CutsDevicePathsToTheirTerminatorTheBlockAnd255Characters) {
  const std::string shortPath = "\\\\?\\usb#vid_0000&pid_0000#1#{guid}";
  EXPECT_EQ(usb::CutDevicePath(shortPath.c_str(), shortPath.size() + 1), shortPath);

  const std::string longPath(300, 'p');
  const std::string cut = usb::CutDevicePath(longPath.c_str(), longPath.size() + 1);
  EXPECT_EQ(cut.size(), usb::kMaxDevicePathChars);
  EXPECT_EQ(cut, longPath.substr(0, 255));

  // A block without a terminator ends the path where the block ends.
  const char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(usb::CutDevicePath(unterminated, sizeof(unterminated)), "abcd");
  EXPECT_EQ(usb::CutDevicePath(nullptr, 10), "");
}

// The wait is counted in steps, so a fake wait shows the bound without a clock.
TEST(UsbPlatformUtil, CancelledReadIsWaitedForAboutASecondAtMostAndCancelledEachStep) {
  using std::chrono::milliseconds;
  struct Case {
    const char* name;
    int completesAfterWaits;  // -1: never
    bool completed;
    int cancels;
    milliseconds waited;
  };
  const Case cases[] = {
      {"already complete", 0, true, 0, milliseconds(0)},
      {"completes after the first cancel", 1, true, 1, milliseconds(100)},
      {"completes after the third step", 3, true, 3, milliseconds(300)},
      {"completes within the last step", 10, true, 10, milliseconds(1000)},
      {"never completes", -1, false, 10, milliseconds(1000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int waits = 0;
    int cancels = 0;
    milliseconds waited{0};
    const bool completed = usb::CancelAndWait(
        [&] { return c.completesAfterWaits >= 0 && waits >= c.completesAfterWaits; },
        [&] { ++cancels; },
        [&](milliseconds step) {
          ++waits;
          waited += step;
        });
    EXPECT_EQ(completed, c.completed);
    EXPECT_EQ(cancels, c.cancels);
    EXPECT_EQ(waited, c.waited);
  }
}

}  // namespace
