// Writing a whole file at once with every step checked, for the calibration tools' outputs.
#pragma once

#include <string>
#include <string_view>

namespace calibration {

// Creates (or replaces) the file at `path` and writes `data` into it as is. False when the file
// cannot be created or any write, including the final flush, fails (a full disk among them).
bool WriteWholeFile(const std::string& path, std::string_view data);

}  // namespace calibration
