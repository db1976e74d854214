// The parameter settings file: a magic line and 46 camera parameters, one per line, read from and
// written to the unit through the library's getters and setters.
#pragma once

#include <string>
#include <vector>

#include "viewer/files/Files.h"
#include "viewer/picture/core/DeviceFunctions.h"

namespace capture {

inline constexpr char kSettingsMagic[] = "#QEL_Setting_Data_(Do_not_edit_manually)";
constexpr int kSettingsValues = 46;

// One value line: its key text, whether the key carries the 1-based index, and the parameter
// it reads and writes.
struct SettingLine {
  const char* key;
  bool indexed;
  picture::DeviceFunction function;
};

// The 46 lines in file order.
const std::vector<SettingLine>& SettingLines();

// "%d\t\t%s%d\n" (the key carries the 1-based index) or "%d\t\t%s\n".
std::string SettingText(const SettingLine& line, int value);

// Writes the magic line and every parameter. -1 when the file cannot be written completely or
// a getter failed (every line is written all the same), else 0. The file replaces an earlier one
// only once written completely; `file`, when given, receives the file's outcome.
int SaveSettingsFile(const std::string& path, files::Result* file = nullptr);

enum class SettingsLoad {
  kLoaded,
  kUnreadable,    // the file cannot be opened or read; nothing sent
  kNotSettings,   // no magic line, not 46 whole numbers with their keys, or a value outside
                  // its page control's range for the head; nothing sent
  kSetterFailed,  // every value was sent, at least one setter failed
};

// Reads the 46 values first and sends them only when the file holds the magic line and all of
// them, each within the range its Picture page control has with a cisType head; then calls
// every setter in file order. A refused file leaves in `fault` what is wrong, with its line
// and key.
SettingsLoad LoadSettings(const std::string& path, int cisType, std::string* fault = nullptr);
// The same as 0 (loaded) or -1.
int LoadSettingsFile(const std::string& path, int cisType);

// The values of a settings file's text, or false (and in `fault` why) when it is not a complete
// settings file or a value lies outside its control's range with a cisType head.
bool ParseSettings(const std::string& text, int cisType, std::vector<int>& values,
                   std::string* fault = nullptr);

}  // namespace capture
