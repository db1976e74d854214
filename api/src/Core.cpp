// Control framing, status fetch, change mask, EEPROM-ready wait and the parameter shadow.
#include "Core.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "Context.h"

namespace qel {

Context& Ctx() {
  // Never destroyed: a program that ends without QEL_Term still has the library's threads
  // running, and they must find their context (and the frame ring) to the very end.
  static Context* context = new Context;
  return *context;
}

std::shared_ptr<usb::Device> CurrentDevice() {
  Context& ctx = Ctx();
  if (!ctx.open.load(std::memory_order_acquire)) return nullptr;
  std::lock_guard<std::mutex> lock(ctx.deviceMutex);
  return ctx.device;
}

bool IsOpen() {
  return Ctx().open.load(std::memory_order_acquire);
}

namespace {

int Transfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
             uint16_t length) {
  std::shared_ptr<usb::Device> device = CurrentDevice();
  if (!device) return 1;
  usb::SetupPacket setup;
  setup.requestType = requestType;
  setup.request = request;
  setup.value = value;
  setup.index = index;
  setup.length = length;
  return device->ControlTransfer(setup, length != 0 ? data : nullptr) ? 0 : 1;
}

}  // namespace

int ControlIn(uint8_t request, uint16_t value, uint16_t index, uint8_t* data, uint16_t length) {
  return Transfer(usb::kVendorIn, request, value, index, data, length);
}

int ControlOut(uint8_t request, uint16_t value, uint16_t index, const uint8_t* data,
               uint16_t length) {
  // The platform interfaces take a non-const buffer for both directions; OUT data is only read.
  return Transfer(usb::kVendorOut, request, value, index, const_cast<uint8_t*>(data), length);
}

int FetchStatus(uint8_t status[kStatusSize]) {
  std::memset(status, 0, kStatusSize);
  int result = ControlIn(kReqStatus, 0, 0, status, kStatusSize);
  if (result != 0) std::memset(status, 0, kStatusSize);
  Context& ctx = Ctx();
  std::lock_guard<std::mutex> guard(ctx.changeMaskGuard);
  for (size_t i = 0; i < kChangeMaskSize; ++i) ctx.changeMask[i] |= status[kChangeMaskOffset + i];
  return result;
}

void TakeChangeMask(uint8_t mask[kChangeMaskSize]) {
  Context& ctx = Ctx();
  std::lock_guard<std::mutex> guard(ctx.changeMaskGuard);
  std::memcpy(mask, ctx.changeMask, kChangeMaskSize);
  std::memset(ctx.changeMask, 0, kChangeMaskSize);
}

int WaitEepromReady(int selector) {
  const size_t stateByte = selector == 0 ? kStatusUnitEeprom : kStatusCisEeprom;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kEepromReadyTimeoutMs);
  uint8_t status[kStatusSize];
  for (;;) {
    if (FetchStatus(status) != 0) return 1;
    const uint8_t state = status[stateByte];
    if (state == kEepromReady) return 0;
    if (state != kEepromBusy) return 1;
    // A unit that never leaves busy must not hold the caller forever.
    if (std::chrono::steady_clock::now() >= deadline) return 1;
    std::this_thread::yield();
  }
}

uint8_t* Shadow() {
  return Ctx().shadow;
}

void ResetShadow() {
  uint8_t* shadow = Ctx().shadow;
  std::memset(shadow, 0xFF, kShadowSize);
  std::memset(shadow, 0, 64);
  std::memcpy(shadow, "QEL", 4);
  shadow[4] = 1;
}

}  // namespace qel
