// Defect pixel detection, table and list.
#include "viewer/calibration/core/DefectPixels.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "QEL_API.h"

namespace calibration {

const char* DefectTypeName(int type) {
  return type == kDefectDark ? "Dark" : "Bright";
}

DefectResult DetectDefects(const uint8_t* frame, live::FrameGeometry g, const DefectScan& scan) {
  DefectResult result;
  if (frame == nullptr) return result;
  const int e = std::clamp(scan.excludedArea, 0, g.n);
  const bool dark = scan.type == kDefectDark;
  const int last = g.n - g.b - 1;
  for (int y = g.b; y <= last; ++y) {
    const int m = std::max({0, e - (y - g.b), e - (last - y)});
    const uint8_t* row = frame + size_t(y) * size_t(g.n) * 4;
    for (int x = g.b + m; x <= last - m; ++x) {
      const int v = row[size_t(x) * 4 + 3];
      if (dark ? v > scan.threshold : v < scan.threshold) continue;
      result.pixels[size_t(result.count++)] = {x, y, v};
      if (result.count == kDefectEntries) return result;
    }
  }
  return result;
}

DefectTable ClearedDefectTable() {
  DefectTable table;
  for (size_t i = 0; i < table.size(); i += 2) {
    table[i] = kUnusedCoordinate >> 8;
    table[i + 1] = kUnusedCoordinate & 0xFF;
  }
  return table;
}

DefectTable EncodeDefectTable(const DefectResult& result) {
  DefectTable table = ClearedDefectTable();
  const int count = std::clamp(result.count, 0, kDefectEntries);
  for (int i = 0; i < count; ++i) {
    const DefectPixel& pixel = result.pixels[size_t(i)];
    uint8_t* entry = table.data() + 4 * i;
    entry[0] = static_cast<uint8_t>(pixel.x >> 8);
    entry[1] = static_cast<uint8_t>(pixel.x);
    entry[2] = static_cast<uint8_t>(pixel.y >> 8);
    entry[3] = static_cast<uint8_t>(pixel.y);
  }
  return table;
}

DefectEntry DefectTableEntry(const DefectTable& table, int index) {
  const uint8_t* entry = table.data() + 4 * index;
  return {entry[0] << 8 | entry[1], entry[2] << 8 | entry[3]};
}

int ValidDefectEntries(const DefectTable& table) {
  int count = 0;
  while (count < kDefectEntries) {
    const DefectEntry entry = DefectTableEntry(table, count);
    if (entry.x >= kUnusedCoordinate || entry.y >= kUnusedCoordinate) break;
    ++count;
  }
  return count;
}

std::string DefectListText(int type, const DefectTable& table, const DefectResult* values) {
  const int count = ValidDefectEntries(table);
  char line[64];
  std::snprintf(line, sizeof line, "%s (%d)\r\n", DefectTypeName(type), count);
  std::string text = line;
  text += "--------------------\r\n";
  for (int i = 0; i < count; ++i) {
    const DefectEntry entry = DefectTableEntry(table, i);
    if (values != nullptr) {
      std::snprintf(line, sizeof line, "%d : (%d,%d) Val = %d\r\n", i + 1, entry.x, entry.y,
                    int(values->pixels[size_t(i)].value));
    } else {
      std::snprintf(line, sizeof line, "%d : (%d,%d)\r\n", i + 1, entry.x, entry.y);
    }
    text += line;
  }
  if (text.size() > kMaxDefectListChars) text.resize(kMaxDefectListChars);
  return text;
}

bool FetchFreshFrame(std::vector<uint8_t>& frame, uint32_t size, uint32_t& length,
                     std::chrono::milliseconds limit) {
  int start = 0;
  QEL_GetIndex(&start);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int index = start;
    QEL_GetIndex(&index);
    if (index != start) break;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  frame.resize(size);
  length = 0;
  // 1 (the same frame as the previous copy) still is the newer frame waited for.
  const int result = QEL_GetFrame(frame.data(), size, &length);
  return result == 0 || result == 1;
}

std::string UploadDefectTable(int type, const DefectTable& table) {
  return QEL_Set_DP_Table(unsigned(type), table.data()) == 0 ? "Defect Pixel Table upload complete"
                                                             : "Defect Pixel Table upload error";
}

std::string DownloadDefectTable(int type, DefectTable& table) {
  table = ClearedDefectTable();
  return QEL_Get_DP_Table(unsigned(type), table.data()) == 0
             ? "Defect Pixel Table download complete"
             : "Defect Pixel Table download error";
}

std::string ClearDefectTable(int type, DefectTable& table) {
  table = ClearedDefectTable();
  return QEL_Set_DP_Table(unsigned(type), table.data()) == 0 ? "Defect Pixel Table clear complete"
                                                             : "Defect Pixel Table clear error";
}

std::vector<std::string> SaveDefectTableToHead(int type) {
  DefectTable buffer = ClearedDefectTable();
  if (QEL_Get_DP_Table(unsigned(type), buffer.data()) != 0) {
    return {"Defect Pixel Table read error", "Defect Pixel Table save error"};
  }
  return {QEL_Save_CIS_DP_Table(unsigned(type), buffer.data()) == 0
              ? "Defect Pixel Table save complete"
              : "Defect Pixel Table save error"};
}

}  // namespace calibration
