// Private-profile reading and writing with the semantics the viewer's ini file was made for.
#include "viewer/shell/Ini.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "viewer/files/Files.h"

namespace shell {
namespace {

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Lines without their terminators; `crlf` tells whether the text used CR LF.
std::vector<std::string> SplitLines(const std::string& text, bool& crlf) {
  std::vector<std::string> lines;
  crlf = text.find("\r\n") != std::string::npos;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The section name of a "[name]" line, or false for any other line.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// Key and value of a "key=value" line.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const std::string t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return true;
}

// An editor may have saved the file with a UTF-8 byte order mark; it is not part of the first
// line. The mark is kept when the file is written back.
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

std::string WithoutBom(const std::string& text, bool& hadBom) {
  hadBom = text.compare(0, 3, kUtf8Bom) == 0;
  return hadBom ? text.substr(3) : text;
}

bool FindValue(const std::string& file, const std::string& section, const std::string& key,
               std::string& value) {
  bool crlf = false;
  bool inSection = false;
  bool bom = false;
  const std::string text = WithoutBom(file, bom);
  for (const std::string& line : SplitLines(text, crlf)) {
    std::string name;
    if (SectionName(line, name)) {
      inSection = SameName(name, section);
      continue;
    }
    std::string k;
    if (inSection && KeyValue(line, k, value) && SameName(k, key)) return true;
  }
  return false;
}

// Leading integer of a value: optional sign, "0x" hexadecimal or decimal digits. Accumulates in
// 64 bits and keeps the low 32, as an unsigned profile integer would.
int ParseProfileInteger(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  int base = 10;
  if (i + 1 < value.size() && value[i] == '0' && (value[i + 1] == 'x' || value[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  uint64_t result = 0;
  for (; i < value.size(); ++i) {
    const int c = std::tolower(static_cast<unsigned char>(value[i]));
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) break;
    result = (result * uint64_t(base) + uint64_t(digit)) & 0xFFFFFFFFu;
  }
  const uint32_t low = static_cast<uint32_t>(result);
  return static_cast<int>(negative ? 0u - low : low);
}

// Far beyond any profile; a larger file (or an endless device) reads as no file.
constexpr size_t kMaxIniBytes = 1 << 20;

bool ReadFile(const std::string& path, std::string& text) {
  return static_cast<bool>(files::ReadWholeFile(path, kMaxIniBytes, text));
}

}  // namespace

int ProfileIntFromText(const std::string& text, const std::string& section, const std::string& key,
                       int defaultValue) {
  std::string value;
  if (!FindValue(text, section, key, value) || value.empty()) return defaultValue;
  return ParseProfileInteger(value);
}

int GetPrivateProfileInt(const std::string& path, const std::string& section,
                         const std::string& key, int defaultValue) {
  std::string text;
  if (!ReadFile(path, text)) return defaultValue;
  return ProfileIntFromText(text, section, key, defaultValue);
}

std::string SetProfileStringInText(const std::string& file, const std::string& section,
                                   const std::string& key, const std::string& value) {
  bool crlf = false;
  bool bom = false;
  const std::string text = WithoutBom(file, bom);
  std::vector<std::string> lines = SplitLines(text, crlf);
#ifdef _WIN32
  if (text.empty()) crlf = true;
#endif
  const std::string entry = key + "=" + value;

  bool inSection = false;
  bool sectionSeen = false;
  size_t insertAt = lines.size();  // after the last non-blank line of the section
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (SectionName(lines[i], name)) {
      if (inSection) break;
      inSection = SameName(name, section);
      if (inSection) {
        sectionSeen = true;
        insertAt = i + 1;
      }
      continue;
    }
    if (!inSection) continue;
    std::string k;
    std::string v;
    if (KeyValue(lines[i], k, v) && SameName(k, key)) {
      lines[i] = entry;
      insertAt = lines.size() + 1;  // replaced
      break;
    }
    if (!Trim(lines[i]).empty()) insertAt = i + 1;
  }
  if (!sectionSeen) {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  } else if (insertAt <= lines.size()) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
  }

  std::string out = bom ? kUtf8Bom : "";
  const char* eol = crlf ? "\r\n" : "\n";
  for (const std::string& line : lines) out += line + eol;
  return out;
}

bool WritePrivateProfileString(const std::string& path, const std::string& section,
                               const std::string& key, const std::string& value) {
  std::string text;
  // A missing file starts empty; one that cannot be read is left as it is.
  const files::Result read = files::ReadWholeFile(path, kMaxIniBytes, text);
  if (!read && read.error != ENOENT) return false;
  const std::string updated = SetProfileStringInText(text, section, key, value);
  return static_cast<bool>(files::WriteWholeFile(path, updated));
}

ViewerIni LoadViewerIni(const std::string& directory) {
  const std::string path = (std::filesystem::path(directory) / kIniFileName).string();
  ViewerIni ini;
  ini.windowMode = GetPrivateProfileInt(path, kIniSection, "WindowMode", 0);
  ini.expertMode = GetPrivateProfileInt(path, kIniSection, "ExpertMode", 0);
  // Write-back failures are not reported; the values read stay in force.
  WritePrivateProfileString(path, kIniSection, "WindowMode", std::to_string(ini.windowMode));
  WritePrivateProfileString(path, kIniSection, "ExpertMode", std::to_string(ini.expertMode));
  return ini;
}

}  // namespace shell
