// Frame-rate bookkeeping of the live view: USB frames per status period and the status text.
#pragma once

#include <cstdint>
#include <string>

namespace live {

// Counts the library's frame counter per status period. A counter that moved backwards at any
// read of the period was restarted by a reconnection, so its difference means nothing; the
// displayed count stands in for it. A fast stream (hundreds of frames per second) is reported as
// it is.
class UsbRateCounter {
 public:
  void Start(int counter);
  // Every read of the counter between status updates goes through here.
  void Observe(int counter);
  // USB frames of the period ending at `counter`; starts the next period there.
  uint32_t EndPeriod(int counter, uint32_t displayedFrames);

 private:
  int base_ = 0;
  int last_ = 0;
  bool restarted_ = false;
};

// "fps DISP:%lu / USB:%lu"
std::string FrameRateText(unsigned long displayed, unsigned long usb);

}  // namespace live
