// The recorder's feed: every checked frame converted into the capture bitmap, as shown (raw or
// colour, with or without the boundary pixels), while a recorder takes frames.
#pragma once

#include "viewer/live/FrameSink.h"
#include "viewer/live/core/CaptureHandOff.h"

namespace live {

class RecorderFeed : public FrameSink {
 public:
  explicit RecorderFeed(live::CaptureHandOff& handOff) : handOff_(handOff) {}
  void Take(const CheckedFrame& frame) override;

 private:
  live::CaptureHandOff& handOff_;
};

}  // namespace live
