// Consumers of the frame stream on the display thread: each checked frame is handed to the sinks
// registered at start-up, in their order.
#pragma once

#include <cstdint>
#include <vector>

namespace live {

// A frame that passed the check, with the view settings it was shown with.
struct CheckedFrame {
  const uint8_t* data;
  uint32_t length;
  int cisType;
  bool raw;       // rendered as the raw (monochrome) view
  bool boundary;  // boundary pixels shown
};

// Display thread: Take returns soon; a sink that needs the GUI posts to it.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void Take(const CheckedFrame& frame) = 0;
};

// Registered while the display thread is stopped; handed to in registration order.
class FrameSinks {
 public:
  void Add(FrameSink& sink) { sinks_.push_back(&sink); }
  // Puts `with` in the place of `old`; nothing when `old` is not registered.
  void Replace(const FrameSink& old, FrameSink& with) {
    for (FrameSink*& sink : sinks_) {
      if (sink == &old) sink = &with;
    }
  }
  void Clear() { sinks_.clear(); }
  void Hand(const CheckedFrame& frame) const {
    for (FrameSink* sink : sinks_) sink->Take(frame);
  }

 private:
  std::vector<FrameSink*> sinks_;
};

}  // namespace live
