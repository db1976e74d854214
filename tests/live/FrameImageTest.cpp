// The frame image core against the viewer's own results: the capture bitmap and the CSV text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "viewer/calibration/core/FrameCsv.h"
#include "viewer/live/core/image/FrameImage.h"
#include "viewer/live/core/image/Render.h"

namespace {

using live::FrameImageResult;

std::vector<uint8_t> MarkedRandomFrame(int cisType) {
  std::vector<uint8_t> f(live::FrameBytes(cisType));
  std::mt19937 rng(uint32_t(cisType) + 7);
  for (auto& byte : f) byte = uint8_t(rng());
  const uint8_t first[] = {0x00, 0xFF, 0x80, 0x00}, last[] = {0x00, 0xFF, 0x9D, 0x00};
  std::copy(first, first + 4, f.begin());
  std::copy(last, last + 4, f.end() - 4);
  return f;
}

TEST(FrameImage, HoldsThePixelsOfTheViewersStillsAndCsvFiles) {
  for (const int cisType : {0, 1}) {
    for (const bool keep : {false, true}) {
      SCOPED_TRACE(testing::Message() << "head " << cisType << " ring " << keep);
      const std::vector<uint8_t> frame = MarkedRandomFrame(cisType);
      const int side = live::FrameImageSide(cisType, keep);
      std::vector<uint8_t> colour(live::CaptureBytes(cisType, keep)), mono(colour.size());
      live::ConvertColour(colour.data(), frame.data(), cisType, keep);
      live::ConvertMono(mono.data(), frame.data(), cisType, keep);
      // The still's bottom-up blue, green, red rows as top-down red, green, blue.
      std::vector<uint8_t> wantRgb, wantRaw;
      for (int y = 0; y < side; ++y) {
        const size_t row = size_t(side - 1 - y) * size_t(live::CaptureRowBytes(side));
        for (size_t x = 0; x < size_t(side) * 3; x += 3) {
          wantRgb.insert(wantRgb.end(),
                         {colour[row + x + 2], colour[row + x + 1], colour[row + x]});
          wantRaw.insert(wantRaw.end(), {mono[row + x + 2], mono[row + x + 1], mono[row + x]});
        }
      }
      std::vector<uint8_t> rgb(live::FrameImageRgbBytes(cisType, keep)), raw(rgb.size());
      std::vector<uint16_t> levels(live::FrameImageLevelCount(cisType, keep));
      ASSERT_EQ(live::FrameToRgb(frame.data(), frame.size(), cisType, keep, rgb.data(), rgb.size()),
                FrameImageResult::Ok);
      ASSERT_EQ(live::FrameToRaw(frame.data(), frame.size(), cisType, keep, raw.data(), raw.size()),
                FrameImageResult::Ok);
      ASSERT_EQ(live::FrameToLevels(frame.data(), frame.size(), cisType, keep, levels.data(),
                                    levels.size()),
                FrameImageResult::Ok);
      EXPECT_EQ(rgb, wantRgb);
      EXPECT_EQ(raw, wantRaw);
      std::string text, csv;
      for (size_t i = 0; i < levels.size(); ++i)
        text += std::to_string(levels[i]) + ((i + 1) % size_t(side) != 0 ? "," : "\r\n");
      calibration::FormatFrameCsv(frame.data(), live::Geometry(cisType), keep, csv);
      EXPECT_EQ(text, csv);
    }
  }
}

TEST(FrameImage, WritesNothingForABadFrameOrTooSmallADestination) {
  std::vector<uint8_t> frame = MarkedRandomFrame(1);
  const size_t bytes = live::FrameImageRgbBytes(1, false);
  std::vector<uint8_t> rgb(bytes, 0xAB);
  std::vector<uint16_t> levels(live::FrameImageLevelCount(1, false), 0xABAB);
  EXPECT_EQ(live::FrameToRgb(frame.data(), frame.size() - 4, 1, false, rgb.data(), bytes),
            FrameImageResult::WrongLength);
  EXPECT_EQ(live::FrameToRaw(frame.data(), frame.size(), 0, false, rgb.data(), bytes),
            FrameImageResult::WrongLength);
  EXPECT_EQ(live::FrameToRgb(nullptr, frame.size(), 1, false, rgb.data(), bytes),
            FrameImageResult::WrongLength);
  EXPECT_EQ(live::FrameToRaw(frame.data(), frame.size(), 1, false, rgb.data(), bytes - 1),
            FrameImageResult::NoRoom);
  EXPECT_EQ(live::FrameToLevels(frame.data(), frame.size(), 1, true, levels.data(), levels.size()),
            FrameImageResult::NoRoom);
  EXPECT_EQ(live::FrameToLevels(frame.data(), frame.size(), 1, false, nullptr, levels.size()),
            FrameImageResult::NoRoom);
  frame.back() ^= 1;
  EXPECT_EQ(live::FrameToLevels(frame.data(), frame.size(), 1, false, levels.data(), levels.size()),
            FrameImageResult::WrongMarkers);
  EXPECT_TRUE(std::all_of(rgb.begin(), rgb.end(), [](uint8_t b) { return b == 0xAB; }));
  EXPECT_TRUE(std::all_of(levels.begin(), levels.end(), [](uint16_t v) { return v == 0xABAB; }));
}

}  // namespace
