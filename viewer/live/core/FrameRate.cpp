// Frame-rate bookkeeping of the live view.
#include "viewer/live/core/FrameRate.h"

#include <cstdio>

namespace live {

void UsbRateCounter::Start(int counter) {
  base_ = counter;
  last_ = counter;
  restarted_ = false;
}

void UsbRateCounter::Observe(int counter) {
  if (counter < last_) restarted_ = true;
  last_ = counter;
}

uint32_t UsbRateCounter::EndPeriod(int counter, uint32_t displayedFrames) {
  Observe(counter);
  const uint32_t usb = restarted_ ? displayedFrames : uint32_t(counter) - uint32_t(base_);
  Start(counter);
  return usb;
}

std::string FrameRateText(unsigned long displayed, unsigned long usb) {
  char text[64];
  std::snprintf(text, sizeof text, "fps DISP:%lu / USB:%lu", displayed, usb);
  return text;
}

}  // namespace live
