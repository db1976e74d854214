// Random input where the library and the simulated unit take it from outside: raw requests with
// any register, address, length and selector, and setup packets of every shape straight into
// the unit. Seeded and bounded, so a failure repeats; the sanitizer presets make it sharp.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "QEL_API.h"
#include "api/src/usb/Backend.h"
#include "sim/Sim.h"
#include "sim/SimUnit.h"
#include "tests/api/SimFixture.h"

namespace qeltest {
namespace {

class RandomInput : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    unit().SetControlLatency(std::chrono::microseconds(0));
  }
  std::mt19937 random{20261207};
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
};

TEST_F(RandomInput, RawRequestsNeverCrashAndAnswerWithAConventionCode) {
  std::vector<unsigned char> buffer(70000, 0);
  for (int i = 0; i < 3000; ++i) {
    const int length = Pick(0, 3) == 0 ? Pick(-10, 70000) : Pick(0, 128);
    const int value = Pick(-70000, 70000);
    const int address = Pick(0, 3) == 0 ? Pick(0, 0x1FFFFF) : Pick(0, 0x3FF);
    // Lengths the buffer cannot hold are refused by the library before anything is sent.
    unsigned char* data = length <= int(buffer.size()) ? buffer.data() : nullptr;
    int result = 0;
    switch (Pick(0, 6)) {
      case 0:
        result = QEL_DeviceRead(value, address, length, data);
        break;
      case 1:
        result = QEL_DeviceWrite(0, Pick(0x100, 0x3FF), length, data);  // never the live registers
        break;
      case 2:
        result = QEL_EepromRead(Pick(-2, 17), static_cast<unsigned>(address), length, data);
        break;
      case 3:
        result = QEL_EepromWrite(Pick(0, 1), static_cast<unsigned>(address), length, data);
        break;
      case 4:
        result = QEL_I2CRead(value, length, data);
        break;
      case 5:
        result = QEL_I2CWrite(value, length, data);
        break;
      default:
        result = QEL_SetDevStatus(value, Pick(0, 1) ? data : nullptr);
        break;
    }
    ASSERT_TRUE(result == 0 || result == 1 || result == -1) << "call " << i << " gave " << result;
  }
  // The unit still answers as before.
  unsigned char info[48];
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, info), 0);
}

TEST_F(RandomInput, SetupPacketsOfEveryShapeReachTheUnitSafely) {
  std::unique_ptr<usb::Backend> backend = sim::CreateBackend();
  std::unique_ptr<usb::Device> device;
  ASSERT_EQ(backend->Open(device), usb::OpenResult::Ok);
  std::vector<uint8_t> data(65536, 0xA5);
  for (int i = 0; i < 5000; ++i) {
    usb::SetupPacket setup;
    setup.requestType = Pick(0, 1) ? usb::kVendorIn : static_cast<uint8_t>(Pick(0, 255));
    setup.request = static_cast<uint8_t>(Pick(0, 3) ? Pick(0x10, 0x19) : Pick(0, 255));
    // Register and status-item writes go the wrong way round (and fail), so the picture and
    // its format stay as they are; everything else goes as drawn.
    if (setup.request == 0x19 || setup.request == 0x13) setup.requestType = usb::kVendorIn;
    setup.value = static_cast<uint16_t>(Pick(0, 0xFFFF));
    setup.index = static_cast<uint16_t>(Pick(0, 0xFFFF));
    setup.length = static_cast<uint16_t>(Pick(0, 1) ? Pick(0, 80) : Pick(0, 0xFFFF));
    device->ControlTransfer(setup, setup.length ? data.data() : nullptr);
  }
  unsigned char info[48];
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, info), 0);
}

}  // namespace
}  // namespace qeltest
