// Checked whole-file writes.
#include "viewer/calibration/FileWrite.h"

#include <cstdio>

namespace calibration {

bool WriteWholeFile(const std::string& path, std::string_view data) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  // The buffered tail reaches the disk only here; its failure counts as much as a short write.
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace calibration
