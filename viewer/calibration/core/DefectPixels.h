// Defect pixel detection in one raw frame, the 32-entry defect pixel table exchanged with the
// unit, its list text, and the table transfers of the Calibration page's buttons.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/live/core/image/Render.h"

namespace calibration {

constexpr int kDefectEntries = live::kDefectTableEntries;
// Coordinates of an unused entry; any coordinate above 510 ends the list.
constexpr int kUnusedCoordinate = 511;
constexpr int kDefectDark = 0;
constexpr int kDefectBright = 1;
constexpr size_t kMaxDefectListChars = 2720;

// "Dark" for type 0, "Bright" for any other.
const char* DefectTypeName(int type);

struct DefectPixel {
  int32_t x = kUnusedCoordinate;
  int32_t y = kUnusedCoordinate;
  int32_t value = 0;
};

struct DefectResult {
  std::array<DefectPixel, kDefectEntries> pixels{};
  int count = 0;
};

struct DefectScan {
  int threshold = 128;     // T, 0..255
  int type = kDefectDark;  // dark: level <= T; bright: level >= T
  int excludedArea = 0;    // E: legs of the corner triangles left out, in pixels
};

// Scans rows and columns b .. n - b - 1 of a whole raw frame (n x n pixels of 4 bytes), rows
// outer, and records the first 32 defects in scan order with their 8-bit level (the pixel's
// fourth byte). A right-angled triangle with legs of E pixels is left out of each corner: row y
// skips max(0, E - (y - b), E - (n - b - 1 - y)) pixels at either end.
DefectResult DetectDefects(const uint8_t* frame, live::FrameGeometry g, const DefectScan& scan);

// 32 entries of x then y, each 16-bit big-endian.
using DefectTable = std::array<uint8_t, live::kDefectTableBytes>;

// Every entry 511, 511 (bytes 01 FF 01 FF).
DefectTable ClearedDefectTable();
// A cleared table with the detected pixels in its first entries.
DefectTable EncodeDefectTable(const DefectResult& result);

struct DefectEntry {
  int x;
  int y;
};
DefectEntry DefectTableEntry(const DefectTable& table, int index);
// Entries before the first one with x or y above 510.
int ValidDefectEntries(const DefectTable& table);

// The list shown under the table: "<type> (<count>)", dashes, then one line per valid entry,
// with the detected levels when `values` is given; lines end with CR LF, at most 2720 characters.
std::string DefectListText(int type, const DefectTable& table, const DefectResult* values);

// Waits until the unit delivers a frame newer than the one current at the call, at most `limit`,
// and copies it into `frame` (resized to `size`). False when none came in time or the copy failed;
// the caller checks the frame's markers.
bool FetchFreshFrame(std::vector<uint8_t>& frame, uint32_t size, uint32_t& length,
                     std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

// The table buttons on the unit's table of `type`; each returns the message(s) to show.
// Download clears `table` first and leaves it as the unit's answer left it.
std::string UploadDefectTable(int type, const DefectTable& table);
std::string DownloadDefectTable(int type, DefectTable& table);
std::string ClearDefectTable(int type, DefectTable& table);
// Copies the unit's table into the head EEPROM. A table that could not be read is not written to
// the head: the messages are then the read error and the save error.
std::vector<std::string> SaveDefectTableToHead(int type);

}  // namespace calibration
