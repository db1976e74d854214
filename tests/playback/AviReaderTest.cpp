// The AVI reader on the recorder's layout, on OpenDML files with AVIX segments, on files made by
// ffmpeg, and on damaged and lying files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "tests/playback/MediaFiles.h"
#include "viewer/playback/core/AviReader.h"
#include "viewer/playback/core/MediaFile.h"

namespace {

using playback::AviIndexKind;
using playback::AviReader;
using playback::AviResult;
using testmedia::AviPlan;
using testmedia::Bytes;

AviResult OpenBytes(AviReader& reader, const Bytes& bytes, size_t size = SIZE_MAX) {
  return reader.Open(std::make_unique<testmedia::ExactSource>(bytes, std::min(size, bytes.size())));
}

// Frames of chosen lengths, odd and even, each filled with its own number.
std::vector<Bytes> Blobs(const std::vector<size_t>& lengths) {
  std::vector<Bytes> frames;
  for (size_t i = 0; i < lengths.size(); ++i) frames.push_back(Bytes(lengths[i], uint8_t(i + 1)));
  return frames;
}

TEST(AviReader, FindsTheRecordersFramesWhereItsLayoutPutsThem) {
  AviPlan plan;
  plan.segments = {Blobs({4001, 100, 200})};
  plan.rate = 1234;
  plan.scale = 100;
  AviReader reader;
  ASSERT_EQ(OpenBytes(reader, BuildAvi(plan)), AviResult::Ok);
  EXPECT_EQ(reader.IndexKind(), AviIndexKind::OpenDml);
  ASSERT_EQ(reader.Frames().size(), 3u);
  // The first chunk header is at 1324; sizes are padded to 4.
  EXPECT_EQ(reader.Frames()[0].offset, 1332u);
  EXPECT_EQ(reader.Frames()[0].size, 4004u);
  EXPECT_EQ(reader.Frames()[1].offset, 1332u + 4004 + 8);
  EXPECT_EQ(reader.Frames()[2].offset, 1332u + 4004 + 8 + 100 + 8);
  EXPECT_EQ(reader.Width(), 200);
  EXPECT_EQ(reader.Height(), 200);
  EXPECT_EQ(reader.Clock().Rate(), 617u);
  EXPECT_EQ(reader.Clock().Scale(), 50u);

  Bytes data;
  ASSERT_TRUE(reader.ReadFrame(0, data));
  ASSERT_EQ(data.size(), 4004u);
  EXPECT_EQ(data[4000], 1);
  EXPECT_EQ(data[4001], 0xFF);
  EXPECT_EQ(data[4003], 0xFF);
  EXPECT_FALSE(reader.ReadFrame(3, data));
}

struct IndexCase {
  const char* name;
  std::function<void(AviPlan&)> shape;
  AviIndexKind kind;
};

TEST(AviReader, EveryIndexAndTheScanGiveTheSameFrames) {
  const std::vector<size_t> lengths = {4001, 100, 201, 7, 64, 3, 900};
  const IndexCase cases[] = {
      {"recorder, both indexes", [](AviPlan&) {}, AviIndexKind::OpenDml},
      {"recorder, idx1 only", [](AviPlan& p) { p.superIndex = false; }, AviIndexKind::Legacy},
      {"recorder, OpenDML only", [](AviPlan& p) { p.legacyIndex = false; }, AviIndexKind::OpenDml},
      {"recorder never closed", [](AviPlan& p) { p.finished = false; }, AviIndexKind::Scan},
      {"AVIX segments", [](AviPlan& p) { p.writerLayout = false; }, AviIndexKind::OpenDml},
      {"AVIX, idx1 then scanning",
       [](AviPlan& p) {
         p.writerLayout = false;
         p.superIndex = false;
       },
       AviIndexKind::Legacy},
      {"AVIX, no index",
       [](AviPlan& p) {
         p.writerLayout = false;
         p.superIndex = false;
         p.legacyIndex = false;
       },
       AviIndexKind::Scan},
      {"idx1 with file positions",
       [](AviPlan& p) {
         p.writerLayout = false;
         p.superIndex = false;
         p.absoluteIdx1 = true;
       },
       AviIndexKind::Legacy},
      {"odd chunks without pad bytes",
       [](AviPlan& p) {
         p.writerLayout = false;
         p.superIndex = false;
         p.legacyIndex = false;
         p.unpadded = true;
       },
       AviIndexKind::Scan},
      {"video as the second stream",
       [](AviPlan& p) {
         p.writerLayout = false;
         p.audioFirst = true;
       },
       AviIndexKind::OpenDml},
  };
  for (const IndexCase& c : cases) {
    SCOPED_TRACE(c.name);
    AviPlan plan;
    plan.segments = {Blobs({4001, 100, 201}), Blobs({7, 64}), Blobs({3, 900})};
    c.shape(plan);
    const bool writer = plan.writerLayout;
    if (writer) plan.segments.resize(1);
    if (!plan.finished) plan.segments[0] = Blobs(lengths);
    std::vector<Bytes> expected;
    for (const auto& segment : plan.segments) {
      for (const Bytes& f : segment) {
        Bytes e = f;
        if (writer) e.resize((f.size() + 3) & ~size_t{3}, 0xFF);
        expected.push_back(e);
      }
    }
    AviReader reader;
    ASSERT_EQ(OpenBytes(reader, BuildAvi(plan)), AviResult::Ok);
    EXPECT_EQ(reader.IndexKind(), c.kind);
    ASSERT_EQ(reader.Frames().size(), expected.size());
    Bytes data;
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_TRUE(reader.ReadFrame(i, data)) << i;
      EXPECT_EQ(data, expected[i]) << i;
    }
  }
}

TEST(AviReader, EmptyChunksRepeatThePreviousFrame) {
  AviPlan plan;
  plan.writerLayout = false;
  plan.segments = {{Bytes(), Bytes(10, 1), Bytes(), Bytes(20, 2)}};
  AviReader reader;
  ASSERT_EQ(OpenBytes(reader, BuildAvi(plan)), AviResult::Ok);
  ASSERT_EQ(reader.Frames().size(), 4u);
  const std::vector<uint32_t> sizes = {10, 10, 10, 20};
  for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(reader.Frames()[i].size, sizes[i]) << i;

  plan.segments = {{Bytes(), Bytes()}};
  EXPECT_EQ(OpenBytes(reader, BuildAvi(plan)), AviResult::NoFrames);
}

// An independent reader agrees that the built files are what they claim to be.
TEST(AviReader, FfprobeCountsTheFramesOfTheBuiltFiles) {
  testmedia::TempDir dir;
  for (bool writer : {true, false}) {
    AviPlan plan;
    plan.writerLayout = writer;
    plan.segments = {testmedia::MakeFrames(4, 200, 200), testmedia::MakeFrames(3, 200, 200)};
    if (writer) plan.segments.resize(1);
    const std::string path = dir.File(writer ? "recorder.avi" : "avix.avi");
    testmedia::WriteFile(path, BuildAvi(plan));
    EXPECT_EQ(testmedia::FfprobeFrames(path), writer ? 4 : 7) << path;
  }
}

// Mean absolute difference of two pictures of 32-bit pixels (the fourth byte ignored).
double MeanDifference(const Bytes& a, const Bytes& b) {
  double sum = 0;
  size_t count = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (i % 4 == 3) continue;
    sum += std::abs(int(a[i]) - int(b[i]));
    ++count;
  }
  return count ? sum / double(count) : 1e9;
}

TEST(AviReader, PlaysMjpegFilesMadeByFfmpeg) {
  testmedia::TempDir dir;
  // The hue turns 12 degrees a frame, so neighbouring frames differ clearly.
  const std::string source =
      "-f lavfi -i testsrc=size=200x200:rate=30,hue=H=2*PI*t -frames:v 12 -c:v mjpeg -q:v 2 ";
  const std::string indexed = dir.File("indexed.avi");
  const std::string streamed = dir.File("streamed.avi");
  ASSERT_TRUE(testmedia::Ffmpeg(source + "-f avi '" + indexed + "'"));
  // Written to a pipe, the file gets neither sizes nor an index.
  ASSERT_TRUE(testmedia::Ffmpeg(source + "-f avi pipe:1 > '" + streamed + "'"));
  const std::string reference = dir.File("frame5.bgra");
  ASSERT_TRUE(testmedia::Ffmpeg("-i '" + indexed + "' -vf 'select=eq(n\\,5)' -frames:v 1 " +
                                "-f rawvideo -pix_fmt bgra '" + reference + "'"));
  const Bytes frame5 = testmedia::ReadFile(reference);
  ASSERT_EQ(frame5.size(), 200u * 200 * 4);

  for (const auto& [path, kind] :
       {std::pair{indexed, AviIndexKind::Legacy}, std::pair{streamed, AviIndexKind::Scan}}) {
    SCOPED_TRACE(path);
    auto file = std::make_unique<AviReader>();
    ASSERT_EQ(file->Open(playback::FileSource::Open(path)), AviResult::Ok);
    EXPECT_EQ(file->IndexKind(), kind);
    EXPECT_EQ(file->Frames().size(), 12u);
    EXPECT_EQ(file->Clock().Rate(), 30u);
    EXPECT_EQ(file->Clock().Scale(), 1u);
    EXPECT_EQ(file->Clock().Duration(), 400000);

    std::unique_ptr<playback::MediaFile> media = playback::MediaFile::Open(path);
    ASSERT_NE(media, nullptr);
    Bytes pixels(200 * 200 * 4);
    for (uint64_t i = 0; i < 12; ++i) ASSERT_TRUE(media->Decode(i, pixels.data(), 800)) << i;
    ASSERT_TRUE(media->Decode(5, pixels.data(), 800));
    const double same = MeanDifference(pixels, frame5);
    ASSERT_TRUE(media->Decode(6, pixels.data(), 800));
    const double next = MeanDifference(pixels, frame5);
    EXPECT_LT(same, 2.0);
    EXPECT_GT(next, 3 * same);
  }
}

// A recording cut anywhere keeps every frame that lies wholly before the cut.
TEST(AviReader, ACutFileKeepsItsWholeFrames) {
  AviPlan plan;
  plan.segments = {testmedia::MakeFrames(5, 200, 200)};
  testmedia::AviParts parts;
  const Bytes file = BuildAvi(plan, &parts);
  std::vector<size_t> frameEnds;
  for (size_t i = 0; i < parts.frameChunks.size(); ++i) {
    const size_t next = i + 1 < parts.frameChunks.size() ? parts.frameChunks[i + 1] : parts.ix[0];
    frameEnds.push_back(next);
  }
  for (size_t cut = 0; cut < parts.ix[0]; ++cut) {
    // Every byte inside the headers, then around each chunk boundary.
    const bool nearBoundary = std::any_of(frameEnds.begin(), frameEnds.end(), [&](size_t end) {
      return cut + 9 >= end && cut <= end + 9;
    });
    if (cut > parts.frameChunks[0] + 8 && !nearBoundary) continue;
    AviReader reader;
    const AviResult result = OpenBytes(reader, file, cut);
    const size_t whole = size_t(
        std::count_if(frameEnds.begin(), frameEnds.end(), [&](size_t end) { return end <= cut; }));
    if (whole == 0) {
      EXPECT_NE(result, AviResult::Ok) << cut;
      continue;
    }
    ASSERT_EQ(result, AviResult::Ok) << cut;
    EXPECT_EQ(reader.Frames().size(), whole) << cut;
  }
}

struct DamageCase {
  const char* name;
  std::function<void(Bytes&, const testmedia::AviParts&)> damage;
  AviResult result;
  AviIndexKind kind;  // when the result is Ok
  size_t frames;
};

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

TEST(AviReader, DamagedAndLyingFilesFallBackOrAreRefused) {
  using K = AviIndexKind;
  const DamageCase cases[] = {
      {"not RIFF", [](Bytes& b, auto&) { b[0] = 'X'; }, AviResult::NotAvi, K::None, 0},
      {"no video stream", [](Bytes& b, auto& p) { Put32(b, p.strf - 56, 0x73647561); },
       AviResult::NoVideo, K::None, 0},
      {"not JPEG frames", [](Bytes& b, auto& p) { Put32(b, p.strf + 24, 0x34363248); },
       AviResult::NotMjpeg, K::None, 0},
      {"width 0", [](Bytes& b, auto& p) { Put32(b, p.strf + 12, 0); }, AviResult::BadSize, K::None,
       0},
      {"huge width", [](Bytes& b, auto& p) { Put32(b, p.strf + 12, 100000); }, AviResult::BadSize,
       K::None, 0},
      {"height below zero", [](Bytes& b, auto& p) { Put32(b, p.strf + 16, uint32_t(-200)); },
       AviResult::Ok, K::OpenDml, 4},
      {"height -2^31", [](Bytes& b, auto& p) { Put32(b, p.strf + 16, 0x80000000u); },
       AviResult::BadSize, K::None, 0},
      {"no frame rate",
       [](Bytes& b, auto& p) {
         Put32(b, p.strf - 36, 0);  // strh scale
         Put32(b, 32, 0);           // avih microseconds per frame
       },
       AviResult::BadRate, K::None, 0},
      {"frame rate from the main header", [](Bytes& b, auto& p) { Put32(b, p.strf - 36, 0); },
       AviResult::Ok, K::OpenDml, 4},
      {"standard index points outside",
       [](Bytes& b, auto& p) { Put32(b, p.ix[0] + 32 + 8, 0x7FFFFFF0); }, AviResult::Ok, K::Legacy,
       4},
      {"super index points outside",
       [](Bytes& b, auto& p) { Put32(b, p.superIndex + 32, 0xFFFFFF00u); }, AviResult::Ok,
       K::Legacy, 4},
      {"both indexes point outside",
       [](Bytes& b, auto& p) {
         Put32(b, p.ix[0] + 32, 0x7FFFFFF0);
         Put32(b, p.idx1 + 8 + 8, 0x7FFFFFF0);
       },
       AviResult::Ok, K::Scan, 4},
      {"frame size beyond the file in every index",
       [](Bytes& b, auto& p) {
         Put32(b, p.ix[0] + 32 + 4, 0x7FFFFFF0);
         Put32(b, p.idx1 + 8 + 12, 0x7FFFFFF0);
         Put32(b, p.frameChunks[0] + 4, 0x7FFFFFF0);
       },
       AviResult::NoFrames, K::None, 0},
      {"chunk size beyond the file, indexes good",
       [](Bytes& b, auto& p) { Put32(b, p.frameChunks[2] + 4, 0xFFFFFFF0u); }, AviResult::Ok,
       K::OpenDml, 4},
      {"countless entries in use",
       [](Bytes& b, auto& p) {
         Put32(b, p.superIndex + 12, 0xFFFFFFFFu);
         Put32(b, p.ix[0] + 12, 0xFFFFFFFFu);
       },
       AviResult::Ok, K::OpenDml, 4},
      {"RIFF and movi sizes beyond the file",
       [](Bytes& b, auto&) {
         Put32(b, 4, 0xFFFFFFF0u);
         Put32(b, 1316, 0xFFFFFFF0u);
       },
       AviResult::Ok, K::OpenDml, 4},
      // The super index holds file positions, so the frames are found without the movi list.
      {"header list larger than the file", [](Bytes& b, auto&) { Put32(b, 16, 0xFFFFFFF0u); },
       AviResult::Ok, K::OpenDml, 4},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    AviPlan plan;
    plan.segments = {testmedia::MakeFrames(4, 200, 200)};
    testmedia::AviParts parts;
    Bytes file = BuildAvi(plan, &parts);
    c.damage(file, parts);
    AviReader reader;
    ASSERT_EQ(OpenBytes(reader, file), c.result);
    if (c.result != AviResult::Ok) continue;
    EXPECT_EQ(reader.IndexKind(), c.kind);
    EXPECT_EQ(reader.Frames().size(), c.frames);
    Bytes data;
    for (size_t i = 0; i < reader.Frames().size(); ++i) EXPECT_TRUE(reader.ReadFrame(i, data));
  }
}

TEST(MediaFile, AFrameThatDoesNotDecodeFailsAloneAndAFrameCutShortStillShows) {
  AviPlan plan;
  plan.segments = {testmedia::MakeFrames(4, 200, 200)};
  Bytes garbage(3000);
  std::mt19937 random(7);
  for (uint8_t& b : garbage) b = uint8_t(random());
  plan.segments[0][1] = garbage;
  plan.segments[0][2].resize(plan.segments[0][2].size() / 2);
  const Bytes file = BuildAvi(plan);
  auto media =
      playback::MediaFile::Open(std::make_unique<testmedia::ExactSource>(file, file.size()));
  ASSERT_NE(media, nullptr);
  Bytes pixels(200 * 200 * 4);
  EXPECT_TRUE(media->Decode(0, pixels.data(), 800));
  const testmedia::Rgb c = testmedia::FrameColour(0);
  EXPECT_NEAR(pixels[100 * 800 + 400 + 2], c.r, 3);
  EXPECT_NEAR(pixels[100 * 800 + 400 + 1], c.g, 3);
  EXPECT_NEAR(pixels[100 * 800 + 400 + 0], c.b, 3);
  EXPECT_EQ(pixels[3], 0xFF);
  EXPECT_FALSE(media->Decode(1, pixels.data(), 800));
  EXPECT_TRUE(media->Decode(2, pixels.data(), 800));
  EXPECT_TRUE(media->Decode(3, pixels.data(), 800));

  // A JPEG of another size than the stream's is refused.
  plan.segments = {{testmedia::MakeJpeg(64, 64, c)}};
  const Bytes other = BuildAvi(plan);
  media = playback::MediaFile::Open(std::make_unique<testmedia::ExactSource>(other, other.size()));
  ASSERT_NE(media, nullptr);
  EXPECT_FALSE(media->Decode(0, pixels.data(), 800));
}

}  // namespace
