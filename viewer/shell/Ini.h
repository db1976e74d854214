// The viewer's ini file: a small private-profile reader and writer and the two window switches.
#pragma once

#include <string>

namespace shell {

// Integer value of `key` in `section` of a private-profile text. A missing file, section, key or
// an empty value gives `defaultValue`; otherwise the leading integer of the value (decimal, or
// hexadecimal after "0x"; optional sign; parsing stops at the first other character, no digits
// give 0). Section and key names compare without regard to case.
int ProfileIntFromText(const std::string& text, const std::string& section, const std::string& key,
                       int defaultValue);
int GetPrivateProfileInt(const std::string& path, const std::string& section,
                         const std::string& key, int defaultValue);

// Sets `key` = `value` in `section`, creating the file, the section or the key as needed and
// keeping every other line. False when the file cannot be written.
std::string SetProfileStringInText(const std::string& text, const std::string& section,
                                   const std::string& key, const std::string& value);
bool WritePrivateProfileString(const std::string& path, const std::string& section,
                               const std::string& key, const std::string& value);

constexpr const char* kIniFileName = "QEL_Viewer.ini";
constexpr const char* kIniSection = "QEL_Viewer";

struct ViewerIni {
  int windowMode = 0;  // non-zero: wide window with every parameter group visible
  int expertMode = 0;  // non-zero: expert menu items and controls exist
};

// Reads "WindowMode" and "ExpertMode" from QEL_Viewer.ini in `directory` and writes both back at
// once, so the file and both keys exist after the first start.
ViewerIni LoadViewerIni(const std::string& directory);

}  // namespace shell
