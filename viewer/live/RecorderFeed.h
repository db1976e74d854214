// The recorder's feed: every checked frame converted into the capture bitmap, as shown (raw or
// colour, with or without the boundary pixels), while a recorder takes frames.
#pragma once

#include "viewer/live/CaptureHandOff.h"
#include "viewer/live/FrameSink.h"

namespace live {

class RecorderFeed : public FrameSink {
 public:
  explicit RecorderFeed(shell::CaptureHandOff& handOff) : handOff_(handOff) {}
  void Take(const CheckedFrame& frame) override;

 private:
  shell::CaptureHandOff& handOff_;
};

}  // namespace live
