// The AVI writer byte by byte: header layout, frame chunks, both indexes, the summary patches,
// the segment limits and what a failing disk does to the file.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <variant>

#include "tests/capture/CaptureTestSupport.h"
#include "viewer/capture/core/AviWriter.h"

namespace {

using capture::AviWriter;
using capture_test::Bytes;
using capture_test::MemoryFile;
using capture_test::MemorySink;
using capture_test::Text;
using capture_test::U16;
using capture_test::U32;
using capture_test::U64;

Bytes FrameData(uint32_t length, uint8_t fill) {
  return Bytes(length, fill);
}

// Writes frames of the given lengths (frame i filled with byte i + 1) into memory.
std::shared_ptr<MemoryFile> WriteAvi(const std::vector<uint32_t>& lengths, uint32_t side = 200,
                                     uint32_t rate = 30, uint32_t scale = 1,
                                     std::shared_ptr<MemoryFile> file = nullptr) {
  if (!file) file = std::make_shared<MemoryFile>();
  AviWriter writer;
  EXPECT_EQ(writer.Open(std::make_unique<MemorySink>(file)), 0);
  EXPECT_EQ(writer.SetFrameSize(side, side), 0);
  EXPECT_EQ(writer.SetFrameRate(120, 1), 0);
  for (size_t i = 0; i < lengths.size(); ++i) {
    const Bytes data = FrameData(lengths[i], uint8_t(i + 1));
    writer.AddFrame(lengths[i], data.data());
  }
  EXPECT_EQ(writer.SetFrameRate(rate, scale), 0);
  EXPECT_EQ(writer.Close(), 0);
  return file;
}

// One expected field: a four-character code, a 32-bit or a 16-bit value.
struct Field {
  uint32_t offset;
  std::variant<const char*, uint32_t, uint16_t> value;
};

void ExpectFields(const Bytes& b, const std::vector<Field>& fields) {
  for (const Field& f : fields) {
    if (const auto* code = std::get_if<const char*>(&f.value)) {
      EXPECT_EQ(Text(b, f.offset, 4), *code) << "at " << f.offset;
    } else if (const auto* v32 = std::get_if<uint32_t>(&f.value)) {
      EXPECT_EQ(U32(b, f.offset), *v32) << "at " << f.offset;
    } else {
      EXPECT_EQ(U16(b, f.offset), std::get<uint16_t>(f.value)) << "at " << f.offset;
    }
  }
}

// FNV-1a of the bytes: a recording compared whole against the one this writer has always made.
uint64_t Fingerprint(const Bytes& b) {
  uint64_t h = 0xCBF29CE484222325u;
  for (const uint8_t byte : b) h = (h ^ byte) * 0x100000001B3u;
  return h;
}

bool AllZero(const Bytes& b, uint64_t from, uint64_t to) {
  for (uint64_t i = from; i < to; ++i) {
    if (b[i] != 0) return false;
  }
  return true;
}

// Every idx1 and ix00 entry names a "00db" chunk of the size it gives, in file order.
void ExpectIndexesMatchChunks(const Bytes& b, uint32_t frames) {
  const uint32_t moviSize = U32(b, 1316);
  const uint64_t ix = 1320 + uint64_t(moviSize) - (frames * 8 + 32);
  ASSERT_EQ(Text(b, ix, 4), "ix00");
  ASSERT_EQ(U32(b, ix + 12), frames);
  const uint64_t base = U64(b, ix + 20);
  EXPECT_EQ(base, 1324u);
  const uint64_t idx1 = 1320 + uint64_t(moviSize);
  ASSERT_EQ(Text(b, idx1, 4), "idx1");
  ASSERT_EQ(U32(b, idx1 + 4), frames * 16);
  uint64_t chunk = 1324;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint32_t size = U32(b, chunk + 4);
    EXPECT_EQ(Text(b, chunk, 4), "00db") << "frame " << i;
    EXPECT_EQ(U32(b, ix + 32 + 8 * i), chunk + 8 - base) << "frame " << i;
    EXPECT_EQ(U32(b, ix + 36 + 8 * i), size) << "frame " << i;
    EXPECT_EQ(Text(b, idx1 + 8 + 16 * i, 4), "00db");
    EXPECT_EQ(U32(b, idx1 + 12 + 16 * i), 0x10u);
    EXPECT_EQ(U32(b, idx1 + 16 + 16 * i), chunk - 1320) << "frame " << i;
    EXPECT_EQ(U32(b, idx1 + 20 + 16 * i), size) << "frame " << i;
    chunk += 8 + size;
  }
  EXPECT_EQ(chunk, ix);
}

TEST(AviWriter, AFileClosedWithoutFramesHasTheWholeHeaderAndNoIndex) {
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer;
  ASSERT_EQ(writer.Open(std::make_unique<MemorySink>(file)), 0);
  ASSERT_EQ(file->bytes.size(), 1324u);
  EXPECT_EQ(Text(file->bytes, 280, 4), "CUNT");  // until the file is closed
  ASSERT_EQ(writer.SetFrameSize(202, 202), 0);
  ASSERT_EQ(writer.SetFrameRate(120, 1), 0);
  ASSERT_EQ(writer.Close(), 0);
  EXPECT_TRUE(file->closed);
  const Bytes& b = file->bytes;
  ASSERT_EQ(b.size(), 1324u);
  // clang-format off
  ExpectFields(b, {
      {0, "RIFF"}, {4, 0u}, {8, "AVI "}, {12, "LIST"},
      {16, 264u}, {20, "hdrl"}, {24, "avih"}, {28, 56u},
      {32, 8333u}, {36, 0u}, {40, 4u}, {44, 0x810u},
      {48, 0u}, {52, 0u}, {56, 1u}, {60, 0u},
      {64, 202u}, {68, 202u}, {88, "LIST"}, {92, 164u},
      {96, "strl"}, {100, "strh"}, {104, 56u}, {108, "vids"},
      {112, "MJPG"}, {116, 0u}, {120, uint16_t(0)}, {122, uint16_t(0)},
      {124, 0u}, {128, 1u}, {132, 120u}, {136, 0u},
      {140, 0u}, {144, 0u}, {148, 0u}, {152, 0u},
      {156, uint16_t(0)}, {158, uint16_t(0)}, {160, uint16_t(202)}, {162, uint16_t(202)},
      {164, "strf"}, {168, 40u}, {172, 40u}, {176, 202u},
      {180, 202u}, {184, uint16_t(1)}, {186, uint16_t(24)}, {188, "MJPG"},
      {192, 608u * 202}, {212, "indx"}, {216, 40u}, {220, uint16_t(4)},
      {222, uint16_t(0)}, {224, 0u}, {228, "00db"}, {260, "LIST"},
      {264, 16u}, {268, "odml"}, {272, "dmlh"}, {276, 4u},
      {280, 0u}, {284, "JUNK"}, {288, 1020u}, {1312, "LIST"},
      {1316, 0u}, {1320, "movi"},
  });
  // clang-format on
  EXPECT_TRUE(AllZero(b, 72, 88));    // avih reserved words
  EXPECT_TRUE(AllZero(b, 196, 212));  // strf tail
  EXPECT_TRUE(AllZero(b, 232, 260));  // super index reserved words and its unused entry
  EXPECT_EQ(Text(b, 292, 19), "Made by VRK AVI 2.0");
  EXPECT_TRUE(AllZero(b, 311, 1312));
}

TEST(AviWriter, AFrameOf4001BytesIsPaddedWithFFAndIndexedTwice) {
  const auto file = WriteAvi({4001});
  const Bytes& b = file->bytes;
  ASSERT_EQ(b.size(), 5400u);
  ExpectFields(b, {
                      {1324, "00db"},      {1328, 4004u},            // the chunk
                      {5336, "ix00"},      {5340, 32u},              // standard index
                      {5344, uint16_t(2)}, {5346, uint16_t(0x100)},  // sub-type 0, type 1
                      {5348, 1u},          {5352, "00db"},
                      {5364, 0u},          {5368, 8u},
                      {5372, 4004u},       {5376, "idx1"},  // legacy index
                      {5380, 16u},         {5384, "00db"},
                      {5388, 0x10u},       {5392, 4u},
                      {5396, 4004u},       {4, 5392u},  // RIFF size
                      {1316, 4056u},                    // movi: chunk and ix00
                      {224, 1u},           {252, 40u},  // super index
                      {256, 1u},           {48, 1u},    // totals
                      {140, 1u},           {280, 1u},
                      {60, 4004u},         {144, 4004u},  // largest chunk
                      {36, 120120u},                      // 4004 x 30 / 1
                  });
  EXPECT_EQ(U64(b, 5356), 1324u);  // base offset
  EXPECT_EQ(U64(b, 244), 5336u);   // where ix00 starts
  EXPECT_EQ(b[1332], 1);
  EXPECT_EQ(b[1332 + 4000], 1);
  EXPECT_EQ(b[5333], 0xFF);
  EXPECT_EQ(b[5334], 0xFF);
  EXPECT_EQ(b[5335], 0xFF);
  ExpectIndexesMatchChunks(b, 1);
}

TEST(AviWriter, IndexOffsetsFollowThePaddedSizes) {
  const auto file = WriteAvi({100, 197, 4, 3});
  const Bytes& b = file->bytes;
  const uint32_t moviSize = U32(b, 1316);
  const uint64_t ix = 1320 + moviSize - (4 * 8 + 32);
  const uint64_t idx1 = 1320 + moviSize;
  const uint32_t ixEntries[][2] = {{8, 100}, {116, 200}, {324, 4}, {336, 4}};
  const uint32_t idx1Entries[][2] = {{4, 100}, {112, 200}, {320, 4}, {332, 4}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(U32(b, ix + 32 + 8 * i), ixEntries[i][0]) << i;
    EXPECT_EQ(U32(b, ix + 36 + 8 * i), ixEntries[i][1]) << i;
    EXPECT_EQ(U32(b, idx1 + 16 + 16 * i), idx1Entries[i][0]) << i;
    EXPECT_EQ(U32(b, idx1 + 20 + 16 * i), idx1Entries[i][1]) << i;
  }
  EXPECT_EQ(b[1324 + 108 + 8 + 197], 0xFF);  // 197 bytes get three bytes of padding
  ExpectIndexesMatchChunks(b, 4);
  EXPECT_EQ(Fingerprint(b), 0xC4A69E6D42C9A6D9u);  // header, chunks and indexes byte for byte
}

TEST(AviWriter, RatesAndTheLargestChunkGoIntoTheSummary) {
  struct Case {
    uint32_t rate, scale;
    uint32_t microSeconds, bytesPerSecond;
  };
  // Largest padded chunk 30,000 bytes; both divisions truncate.
  for (const Case& c : {Case{1234, 100, 81037, 370200}, Case{3000, 100, 33333, 900000},
                        Case{120, 1, 8333, 3600000}, Case{2997, 100, 33366, 899100}}) {
    std::vector<uint32_t> lengths(10, 1000);
    lengths[6] = 29998;
    const Bytes b = WriteAvi(lengths, 400, c.rate, c.scale)->bytes;
    ExpectFields(b, {{32, c.microSeconds},
                     {36, c.bytesPerSecond},
                     {128, c.scale},
                     {132, c.rate},
                     {60, 30000u},
                     {144, 30000u},
                     {48, 10u},
                     {140, 10u},
                     {280, 10u},
                     {176, 400u},
                     {192, 1200u * 400}});
  }
}

TEST(AviWriter, The65537thFrameEndsTheFileAndLaterFramesWriteNothing) {
  auto file = std::make_shared<MemoryFile>();
  AviWriter writer;
  ASSERT_EQ(writer.Open(std::make_unique<MemorySink>(file)), 0);
  const uint8_t byte = 7;
  for (int i = 0; i < 65536; ++i) ASSERT_EQ(writer.AddFrame(1, &byte), 0) << i;
  EXPECT_EQ(writer.AddFrame(1, &byte), -2);
  const size_t finished = file->bytes.size();
  const int writes = file->writes;
  EXPECT_EQ(writer.AddFrame(1, &byte), -2);
  EXPECT_EQ(writer.AddFrame(0, nullptr), -2);
  EXPECT_EQ(file->writes, writes);
  ASSERT_EQ(writer.Close(), 0);
  const Bytes& b = file->bytes;
  const uint64_t chunks = 65536ull * 12;
  EXPECT_EQ(b.size(), finished);
  EXPECT_EQ(b.size(), 1324 + chunks + (32 + 65536 * 8) + (8 + 65536 * 16));
  ExpectFields(b, {{224, 1u},
                   {48, 65536u},
                   {140, 65536u},
                   {280, 65536u},
                   {252, 65536u * 8 + 32},
                   {256, 65536u},
                   {4, uint32_t(b.size() - 8)}});
  EXPECT_EQ(U64(b, 244), 1324 + chunks);
  ExpectIndexesMatchChunks(b, 65536);
}

TEST(AviWriter, DataPast0x7E000000BytesEndTheFile) {
  // Three frames bring the segment's data to exactly 0x7E000000 bytes past the RIFF size field:
  // not above the limit, so a fourth frame is still taken; the fifth is not.
  const uint32_t lengths[] = {704642624, 704642624, 704642628, 10};
  ASSERT_EQ(1324 + 3 * 8 + uint64_t(lengths[0]) + lengths[1] + lengths[2] - 8, 0x7E000000u);
  // Frame data that is never read: the sparse file only counts large writes.
  const size_t mapped = lengths[2];
  void* data = mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(data, MAP_FAILED);

  auto file = std::make_shared<capture_test::SparseFile>();
  AviWriter writer;
  ASSERT_EQ(writer.Open(std::make_unique<capture_test::SparseSink>(file)), 0);
  for (uint32_t length : lengths) EXPECT_EQ(writer.AddFrame(length, data), 0);
  EXPECT_EQ(writer.AddFrame(10, data), -2);
  const uint64_t finished = file->length;
  EXPECT_EQ(writer.AddFrame(10, data), -2);
  EXPECT_EQ(writer.Close(), 0);
  munmap(data, mapped);

  const uint64_t indexAt = 1324 + 4 * 8 + uint64_t(lengths[0]) + lengths[1] + lengths[2] + 12;
  EXPECT_EQ(file->length, finished);
  EXPECT_EQ(file->length, indexAt + (32 + 4 * 8) + (8 + 4 * 16));
  const Bytes header = file->Read(0, 1324);
  EXPECT_EQ(U32(header, 4), uint32_t(file->length - 8));
  EXPECT_EQ(U32(header, 1316), uint32_t(indexAt + 64 - 1320));
  EXPECT_EQ(U64(header, 244), indexAt);
  EXPECT_EQ(U32(header, 224), 1u);
  EXPECT_EQ(U32(header, 140), 4u);
  const Bytes ix = file->Read(indexAt, 64);
  EXPECT_EQ(Text(ix, 0, 4), "ix00");
  const uint32_t offsets[] = {8, 704642640, 1409285272, 2113927908};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(U32(ix, 32 + 8 * i), offsets[i]) << i;
    EXPECT_EQ(U32(ix, 36 + 8 * i), i == 3 ? 12u : lengths[i]) << i;
  }
  const Bytes idx1 = file->Read(indexAt + 64, 8 + 64);
  EXPECT_EQ(Text(idx1, 0, 4), "idx1");
  EXPECT_EQ(U32(idx1, 8 + 48 + 8), offsets[3] - 4);
  EXPECT_EQ(Text(file->Read(1324 + offsets[3] - 8, 4), 0, 4), "00db");
}

TEST(AviWriter, EveryCallWithoutAnOpenFileAnswersMinusOne) {
  AviWriter writer;
  const uint8_t byte = 0;
  EXPECT_EQ(writer.SetFrameSize(200, 200), -1);
  EXPECT_EQ(writer.SetFrameRate(30, 1), -1);
  EXPECT_EQ(writer.AddFrame(1, &byte), -1);
  EXPECT_EQ(writer.Close(), -1);
  EXPECT_EQ(writer.Open("/nonexistent-directory/x.avi"), -1);
  EXPECT_EQ(writer.AddFrame(1, &byte), -1);
  EXPECT_EQ(writer.Close(), -1);
  // Closed once, closed for good.
  auto file = std::make_shared<MemoryFile>();
  ASSERT_EQ(writer.Open(std::make_unique<MemorySink>(file)), 0);
  ASSERT_EQ(writer.Close(), 0);
  EXPECT_EQ(writer.AddFrame(1, &byte), -1);
  EXPECT_EQ(writer.Close(), -1);
}

TEST(AviWriter, AFrameThatCannotBeWrittenLeavesTheFileAsIfItNeverCame) {
  // Frame 2 (5,003 bytes, one byte of padding) fails in each of its three writes, with part of
  // the write on the disk. The file must come out byte for byte as if frame 2 had not been
  // offered: frame 3 where frame 2 began, indexes true, nothing of frame 2 past the end.
  struct Case {
    const char* write;
    size_t length;
    int occurrence;
    size_t kept;
  };
  const std::vector<uint32_t> offered = {4000, 5003, 100};
  const Bytes expected = WriteAvi({4000, 100})->bytes;
  for (const Case& c : {Case{"chunk header", 8, 1, 3}, Case{"frame data", 5003, 0, 1000},
                        Case{"padding", 1, 0, 0}}) {
    SCOPED_TRACE(c.write);
    auto file = std::make_shared<MemoryFile>();
    file->failLength = c.length;
    file->failOccurrence = c.occurrence;
    file->keepBytes = c.kept;
    AviWriter writer;
    ASSERT_EQ(writer.Open(std::make_unique<MemorySink>(file)), 0);
    writer.SetFrameSize(200, 200);
    writer.SetFrameRate(120, 1);
    std::vector<int> results;
    for (size_t i = 0; i < offered.size(); ++i) {
      const Bytes data = FrameData(offered[i], uint8_t(i == 2 ? 2 : i + 1));
      results.push_back(writer.AddFrame(offered[i], data.data()));
    }
    EXPECT_EQ(results, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(writer.TotalFrames(), 2);
    writer.SetFrameRate(30, 1);
    EXPECT_EQ(writer.Close(), 0);
    EXPECT_TRUE(file->bytes == expected);
    ExpectIndexesMatchChunks(file->bytes, 2);
  }
}

TEST(AviWriter, AFileThatCouldNotBeCompletedIsReportedAsSuch) {
  struct Case {
    const char* failure;
    void (*arrange)(MemoryFile&);
    int open, setSize, addFrame, close;
  };
  const Case cases[] = {
      {"header write", [](MemoryFile& f) { f.failLength = 1324; }, 1, -1, -1, -1},
      {"header patch", [](MemoryFile& f) { f.failLength = 4; }, 0, 1, 0, 1},
      {"seek", [](MemoryFile& f) { f.failSeeksFrom = 0; }, 0, 1, 1, 1},
      {"seek in the close", [](MemoryFile& f) { f.failSeeksFrom = 10; }, 0, 0, 0, 1},
      {"flush at close", [](MemoryFile& f) { f.failClose = true; }, 0, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    auto file = std::make_shared<MemoryFile>();
    c.arrange(*file);
    AviWriter writer;
    const uint8_t frame[16] = {};
    EXPECT_EQ(writer.Open(std::make_unique<MemorySink>(file)), c.open);
    EXPECT_EQ(writer.SetFrameSize(200, 200), c.setSize);
    EXPECT_EQ(writer.AddFrame(sizeof frame, frame), c.addFrame);
    EXPECT_EQ(writer.Close(), c.close);
  }
}

TEST(AviWriter, OnARealDiskThatFillsUpFramesFailAndTheFileStaysWholeOrIsReported) {
  // Six chunks of 30,008 bytes end at 181,372. With room for a little more, the seventh frame
  // fails and so do the indexes: Close reports it. With room for the indexes as well, the file
  // closes complete with six frames.
  struct Case {
    rlim_t room;
    int close;
  };
  const std::string path = "/tmp/full-disk-" + std::to_string(::getpid()) + ".avi";
  for (const Case& c : {Case{181400, 1}, Case{200000, 0}}) {
    SCOPED_TRACE(c.room);
    std::vector<int> added;
    int closed = 0;
    {
      const capture_test::FileSizeLimit disk(c.room);
      AviWriter writer;
      ASSERT_EQ(writer.Open(path), 0);
      writer.SetFrameSize(200, 200);
      const Bytes data(30000, 1);
      for (int i = 0; i < 8; ++i)
        added.push_back(writer.AddFrame(uint32_t(data.size()), data.data()));
      closed = writer.Close();
    }
    EXPECT_EQ(added, (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(closed, c.close);
    if (c.close == 0) {
      const Bytes b = capture_test::ReadFile(path);
      EXPECT_EQ(U32(b, 4), b.size() - 8);
      EXPECT_EQ(U32(b, 140), 6u);
      ExpectIndexesMatchChunks(b, 6);
    }
    std::remove(path.c_str());
  }
}

}  // namespace
