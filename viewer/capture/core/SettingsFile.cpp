// The parameter settings file: its line table, writer and reader.
#include "viewer/capture/core/SettingsFile.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "viewer/picture/core/Controls.h"

namespace capture {
namespace {

// A file larger than this is not a settings file; its first 93 words are all the reader needs.
constexpr size_t kMaxReadBytes = 1 << 20;

using picture::Param;

// The parameters in file order; an indexed parameter gives one line per index.
struct Family {
  const char* key;
  Param param;
};

constexpr Family kFamilies[] = {
    {"//ControlMode", Param::kControlMode},
    {"//BlackLevel", Param::kBlackLevel},
    {"//ExposureTime", Param::kExposureTime},
    {"//RawGain", Param::kRawGain},
    {"//AGC_AEC_Target", Param::kAGC_AEC_Target},
    {"//Hysteresis", Param::kHysteresis},
    {"//ControlSpeed", Param::kControlSpeed},
    {"//ControlMonitor", Param::kControlMonitor},
    {"//AWB", Param::kAWB},
    {"//GainRB", Param::kGainRB},
    {"//ColorMatrix", Param::kColorMatrix},
    {"//GainYC", Param::kGainYC},
    {"//Gamma", Param::kGamma},
    {"//ImageFlip", Param::kImageFlip},
    {"//ImageRotation", Param::kImageRotation},
    {"//DVI_ImageSize", Param::kDVI_ImageSize},
    {"//DP_Corr", Param::kDP_Corr},
    {"//FPN_Corr", Param::kFPN_Corr},
    {"//ImageFineAdj", Param::kCIS_ImageFineAdj},
    {"//NoiseReduction", Param::kNoiseReduction},
    {"//EdgeEnhancement", Param::kEdgeEnhancement},
    {"//VFPN_Corr", Param::kVFPN_Corr},
    {"//DVI_Resolution", Param::kDVI_Resolution},
    {"//LightLevel", Param::kLightLevel},
    {"//MinLightLevel", Param::kMinLightLevel},
    {"//ALC_Param", Param::kALC_Param},
    {"//ALC_Target", Param::kALC_Target},
    {"//CIS_VoutCurrent", Param::kCIS_VoutCurrent},
    {"//CIS_ConnectionDet", Param::kCIS_ConnectionDet},
    {"//CIS_OverCurrentDet", Param::kCIS_OverCurrentDet},
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The white-space separated words of a text, each with the line it stands on.
class Words {
 public:
  explicit Words(std::string_view text) : text_(text) {}
  bool Next(std::string_view& word) {
    for (; at_ < text_.size() && IsSpace(text_[at_]); ++at_) {
      if (text_[at_] == '\n') ++line_;
    }
    if (at_ == text_.size()) return false;
    const size_t first = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_])) ++at_;
    word = text_.substr(first, at_ - first);
    return true;
  }
  int Line() const { return line_; }

 private:
  std::string_view text_;
  size_t at_ = 0;
  int line_ = 1;
};

// A whole decimal number as the file holds it: one optional sign and digits, nothing else.
// Digits beyond the range of long long count as out of range, not as another spelling.
enum class Number { kValue, kTooLarge, kNotANumber };
Number ParseValue(std::string_view word, long long& value) {
  const char* first = word.data();
  const char* last = first + word.size();
  const char* digits = first != last && (*first == '+' || *first == '-') ? first + 1 : first;
  if (digits == last) return Number::kNotANumber;
  for (const char* p = digits; p != last; ++p) {
    if (*p < '0' || *p > '9') return Number::kNotANumber;
  }
  // from_chars takes a minus sign but no plus.
  const auto [end, error] = std::from_chars(*first == '+' ? digits : first, last, value);
  return error == std::errc() && end == last ? Number::kValue : Number::kTooLarge;
}

std::string KeyText(const SettingLine& line) {
  return line.indexed ? line.key + std::to_string(line.function.index + 1) : line.key;
}

// A word as a refusal quotes it; a long one is cut.
std::string Quoted(std::string_view word) {
  constexpr size_t kShown = 24;
  return "'" + std::string(word.substr(0, kShown)) + (word.size() > kShown ? "...'" : "'");
}

}  // namespace

const std::vector<SettingLine>& SettingLines() {
  static const std::vector<SettingLine> lines = [] {
    std::vector<SettingLine> out;
    for (const Family& f : kFamilies) {
      const int count = picture::Info(f.param).count;
      for (int i = 0; i < count; ++i) out.push_back({f.key, count > 1, {f.param, uint8_t(i)}});
    }
    return out;
  }();
  return lines;
}

std::string SettingText(const SettingLine& line, int value) {
  char text[96];
  if (line.indexed) {
    std::snprintf(text, sizeof text, "%d\t\t%s%d\n", value, line.key, line.function.index + 1);
  } else {
    std::snprintf(text, sizeof text, "%d\t\t%s\n", value, line.key);
  }
  return text;
}

int SaveSettingsFile(const std::string& path, files::Result* file) {
  files::ReplacingFile out(path);
  if (file != nullptr) *file = out.Status();
  if (!out.Ok()) return -1;
  bool ok = true;
  std::string text = std::string(kSettingsMagic) + "\n";
  int value = 0;
  for (const SettingLine& line : SettingLines()) {
    if (picture::GetDevice(line.function, &value) != 0) ok = false;
    text += SettingText(line, value);
  }
  out.Write(text);
  const files::Result written = out.Commit();
  if (file != nullptr) *file = written;
  return ok && written ? 0 : -1;
}

bool ParseSettings(const std::string& text, int cisType, std::vector<int>& values,
                   std::string* fault) {
  auto refuse = [fault](const std::string& why) {
    if (fault != nullptr) *fault = why;
    return false;
  };
  Words words(text);
  std::string_view word;
  if (!words.Next(word) || word != kSettingsMagic) {
    return refuse("line " + std::to_string(words.Line()) + " is not \"" + kSettingsMagic + "\"");
  }
  const std::vector<SettingLine>& lines = SettingLines();
  std::vector<int> parsed(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string key = KeyText(lines[i]);
    if (!words.Next(word)) {
      return refuse("the file ends before the value of " + key);
    }
    const std::string where = "line " + std::to_string(words.Line()) + " (" + key + "): ";
    long long value = 0;
    const Number number = ParseValue(word, value);
    if (number == Number::kNotANumber) return refuse(where + Quoted(word) + " is not a number");
    const picture::Range range = picture::AllowedValues(lines[i].function, cisType).range;
    if (number == Number::kTooLarge || value < range.min || value > range.max) {
      return refuse(where + Quoted(word) + " is outside " + std::to_string(range.min) + ".." +
                    std::to_string(range.max) + " with a " + picture::HeadTypeText(cisType) +
                    " head");
    }
    parsed[i] = static_cast<int>(value);
    // The key after each value only documents the line; it is not checked, but it must be there.
    if (!words.Next(word)) return refuse(where + "the key after the value is missing");
  }
  values = std::move(parsed);
  return true;
}

SettingsLoad LoadSettings(const std::string& path, int cisType, std::string* fault) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return SettingsLoad::kUnreadable;
  std::string text(kMaxReadBytes, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) return SettingsLoad::kUnreadable;
  std::vector<int> values;
  if (!ParseSettings(text, cisType, values, fault)) return SettingsLoad::kNotSettings;

  SettingsLoad result = SettingsLoad::kLoaded;
  const std::vector<SettingLine>& lines = SettingLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (picture::SetDevice(lines[i].function, values[i]) != 0) result = SettingsLoad::kSetterFailed;
  }
  return result;
}

int LoadSettingsFile(const std::string& path, int cisType) {
  return LoadSettings(path, cisType) == SettingsLoad::kLoaded ? 0 : -1;
}

}  // namespace capture
