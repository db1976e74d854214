// The recorder's feed from the display thread.
#include "viewer/live/RecorderFeed.h"

#include "viewer/live/core/image/Render.h"

namespace live {

void RecorderFeed::Take(const CheckedFrame& frame) {
  handOff_.Offer(CaptureSide(frame.cisType, frame.boundary), [&](uint8_t* capture) {
    if (frame.raw) {
      ConvertMono(capture, frame.data, frame.cisType, frame.boundary);
    } else {
      ConvertColour(capture, frame.data, frame.cisType, frame.boundary);
    }
  });
}

}  // namespace live
