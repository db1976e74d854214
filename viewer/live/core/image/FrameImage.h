// Frame image core: one frame of the unit, as QEL_GetFrame delivers it, turned into plain images
// for programs other than the viewer (bindings, media elements). It uses the viewer's own frame
// kernels, so its pictures hold exactly the pixels of the viewer's stills and CSV files.
//
// Plain C++, no Qt, no library calls, no allocation: the caller owns every buffer and passes its
// size. Link the CMake target live_core and include this header (it includes only standard
// headers). All functions may run on any thread at the same time.
//
// A frame of head type cisType (0 for a 40K head, anything else for a 160K head) is N x N pixels
// (N = 202 or 404), 4 bytes each, with a ring of B = 1 or 2 boundary pixels around the image and
// marker words in its first and last pixel. Images are side x side with side = N while the ring
// is kept and N - 2B (200 or 400) while it is dropped, rows top-down and without padding:
//  - RGB: side x side x 3 bytes, red, green, blue. Colour frames (the unit's colour data) give the
//    picture, raw frames their grey levels (R = G = B = the high byte of the level word). Without
//    the ring a 40K image holds frame rows 1..200 and columns 0..199: colour comes in pixel pairs.
//  - Levels: side x side uint16_t, the 10-bit level of each pixel of a raw frame (its second word
//    over 64) as the CSV export writes it; without the ring rows and columns B..N - B - 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace live {

enum class FrameImageResult {
  Ok = 0,            // the image was written
  WrongLength = 1,   // no frame, or not FrameBytes of the head type
  WrongMarkers = 2,  // the marker words of the first or last pixel are wrong
  NoRoom = 3,        // no destination, or fewer bytes or values than the image needs
};

// Side of the images of a head type's frames.
int FrameImageSide(int cisType, bool keepBoundary);
// Bytes of a frame of the head type.
size_t FrameImageFrameBytes(int cisType);
// Bytes of an RGB image; values (not bytes) of a levels image.
size_t FrameImageRgbBytes(int cisType, bool keepBoundary);
size_t FrameImageLevelCount(int cisType, bool keepBoundary);

// (a) Whether the frame is whole and marked: Ok, WrongLength or WrongMarkers.
FrameImageResult CheckFrameImage(const uint8_t* frame, size_t length, int cisType);

// (b) The colour picture, (d) the raw (grey) view, (c) the levels. Each checks the frame first and
// writes nothing unless it is usable and the destination is large enough.
FrameImageResult FrameToRgb(const uint8_t* frame, size_t length, int cisType, bool keepBoundary,
                            uint8_t* rgb, size_t rgbBytes);
FrameImageResult FrameToRaw(const uint8_t* frame, size_t length, int cisType, bool keepBoundary,
                            uint8_t* rgb, size_t rgbBytes);
FrameImageResult FrameToLevels(const uint8_t* frame, size_t length, int cisType, bool keepBoundary,
                               uint16_t* levels, size_t levelCount);

}  // namespace live
