// Gamma CSV files and gamma table transfers.
#include "viewer/calibration/core/GammaTable.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "QEL_API.h"
#include "viewer/files/Files.h"

namespace calibration {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal integer as "%d" reads it: blanks, an optional sign, at least one digit. Values
// beyond the int range come back as they are far outside every accepted range.
bool ScanInt(std::string_view s, size_t& i, long long& value) {
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t digits = i;
  value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (value < (1LL << 40)) value = value * 10 + (s[i] - '0');
  }
  if (negative) value = -value;
  return i > digits;
}

// Feeds lines, in file order, into the tables.
class GammaCsvReader {
 public:
  explicit GammaCsvReader(GammaTables& tables) : tables_(tables) {}

  // One line without its end; `ended` when a line end followed it. False once no more lines
  // are wanted.
  bool Line(std::string_view line, bool ended) {
    ++number_;
    if (!line.empty() && line.back() == '\r' && ended) line.remove_suffix(1);
    // A line's length counts its line end, as a line read with its end does: "1,2,3" and its
    // line end make a data line, and a written file with lines "0,0,0" loads again. Text
    // stops at a NUL character.
    size_t length = line.size() + (ended ? 1 : 0);
    if (const size_t nul = line.find('\0'); nul != std::string_view::npos) {
      line = line.substr(0, nul);
      length = nul;
    }
    line = line.substr(0, kGammaLineChars);
    if (length < 6 || line[0] == '#' || line[0] == '/' || line[0] == ';') return true;
    if (accepted_ == kGammaCsvLines) return false;
    long long values[kGammaTableCount];
    size_t at = 0;
    for (int k = 0; k < kGammaTableCount; ++k) {
      if (k > 0 && (at >= line.size() || line[at++] != ',')) return true;
      if (!ScanInt(line, at, values[k])) return true;
    }
    for (int k = 0; k < kGammaTableCount; ++k) {
      if (values[k] < 0 || values[k] > kGammaMaxValue) {
        Refuse("line %d: value %lld is outside 0..%d", number_, values[k], kGammaMaxValue);
        return false;
      }
      const int entry = int(values[k]) * 4;
      uint8_t* group = tables_.data() + kGammaTableBytes * size_t(k) + size_t(accepted_) * 8;
      for (int j = 0; j < 4; ++j) {
        group[2 * j] = static_cast<uint8_t>(entry >> 8);
        group[2 * j + 1] = static_cast<uint8_t>(entry);
      }
    }
    ++accepted_;
    return true;
  }

  bool Complete(std::string* reason) const {
    if (reason != nullptr) {
      *reason = !reason_.empty()              ? reason_
                : accepted_ == kGammaCsvLines ? std::string()
                                              : "only " + std::to_string(accepted_) + " of " +
                                                    std::to_string(kGammaCsvLines) + " data lines";
    }
    return reason_.empty() && accepted_ == kGammaCsvLines;
  }

 private:
  template <typename... Args>
  void Refuse(const char* format, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    reason_ = text;
  }

  GammaTables& tables_;
  int accepted_ = 0;
  int number_ = 0;
  std::string reason_;  // why the text is no table, once known
};

void PutEntry(uint8_t* table, int index, int value) {
  table[2 * index] = static_cast<uint8_t>(value >> 8);
  table[2 * index + 1] = static_cast<uint8_t>(value);
}

int Entry(const GammaTables& tables, int table, int index) {
  const uint8_t* p = tables.data() + kGammaTableBytes * size_t(table) + size_t(index) * 2;
  return p[0] << 8 | p[1];
}

std::string TableMessage(const char* what, int table) {
  char text[48];
  std::snprintf(text, sizeof text, "Gamma(%d) %s error", table, what);
  return text;
}

}  // namespace

bool ParseGammaCsv(std::string_view text, GammaTables& tables, std::string* reason) {
  GammaCsvReader reader(tables);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (!reader.Line(text.substr(0, end), end != std::string_view::npos)) break;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return reader.Complete(reason);
}

bool LoadGammaCsv(const std::string& path, GammaTables& tables, std::string* reason) {
  std::string text;
  if (const files::Result read = files::ReadWholeFile(path, kGammaMaxFileBytes, text); !read) {
    if (reason != nullptr) {
      *reason = read.error == EFBIG ? "larger than " + std::to_string(kGammaMaxFileBytes) + " bytes"
                                    : read.Reason();
    }
    return false;
  }
  return ParseGammaCsv(text, tables, reason);
}

std::string GammaCsvText(const GammaTables& tables) {
  std::string text;
  text.reserve(size_t(kGammaCsvLines) * 16);
  char line[48];
  for (int i = 0; i < kGammaEntries; i += 4) {
    std::snprintf(line, sizeof line, "%d,%d,%d\r\n", Entry(tables, 0, i) >> 2,
                  Entry(tables, 1, i) >> 2, Entry(tables, 2, i) >> 2);
    text += line;
  }
  return text;
}

files::Result SaveGammaCsv(const std::string& path, const GammaTables& tables) {
  return files::WriteWholeFile(path, GammaCsvText(tables));
}

void FillIdentityGammaTable(uint8_t* table) {
  for (int i = 0; i < kGammaEntries; ++i) PutEntry(table, i, i);
}

std::string UploadGammaCsv(const std::string& path, std::string* reason) {
  auto tables = std::make_unique<GammaTables>();
  if (!LoadGammaCsv(path, *tables, reason)) return "Gamma upload load error";
  for (int k = 0; k < kGammaTableCount; ++k) {
    if (QEL_Set_Gamma_Table(k, tables->data() + kGammaTableBytes * size_t(k)) != 0) {
      return TableMessage("upload", k);
    }
  }
  return "Gamma upload complete";
}

std::string DownloadGammaCsv(const std::string& path, std::string* reason) {
  auto tables = std::make_unique<GammaTables>();
  for (int k = 0; k < kGammaTableCount; ++k) {
    if (QEL_Get_Gamma_Table(k, tables->data() + kGammaTableBytes * size_t(k)) != 0) {
      return TableMessage("download", k);
    }
  }
  const files::Result saved = SaveGammaCsv(path, *tables);
  if (reason != nullptr) *reason = saved.Reason();
  return saved ? "Gamma download complete" : "Gamma download save error";
}

std::string SaveGammaTablesToUnitEeprom() {
  std::array<uint8_t, kGammaTableBytes> table;
  for (int k = 0; k < kGammaTableCount; ++k) {
    if (QEL_Get_Gamma_Table(k, table.data()) != 0 || QEL_Save_Gamma_Table(k, table.data()) != 0) {
      return "Gamma save error";
    }
  }
  return "Gamma save complete";
}

std::string ClearGammaTables() {
  std::array<uint8_t, kGammaTableBytes> identity;
  FillIdentityGammaTable(identity.data());
  for (int k = 0; k < kGammaTableCount; ++k) {
    if (QEL_Set_Gamma_Table(k, identity.data()) != 0) return "Gamma clear error";
  }
  return "Gamma clear complete";
}

}  // namespace calibration
