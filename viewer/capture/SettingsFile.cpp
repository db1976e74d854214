// The parameter settings file: its line table, writer and reader.
#include "viewer/capture/SettingsFile.h"

#include <charconv>
#include <cstdio>
#include <sstream>

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

// A whole decimal int as the file holds it: an optional sign and digits, nothing else.
bool ParseValue(const std::string& word, int& value) {
  const char* first = word.data();
  const char* last = first + word.size();
  if (first != last && *first == '+') ++first;
  if (first == last || *first == '+') return false;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last;
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

bool ParseSettings(const std::string& text, std::vector<int>& values) {
  std::istringstream in(text);
  std::string word;
  if (!(in >> word) || word != kSettingsMagic) return false;
  std::vector<int> parsed(SettingLines().size());
  for (int& value : parsed) {
    // The key after each value only documents the line; it is not checked, but it must be there.
    if (!(in >> word) || !ParseValue(word, value) || !(in >> word)) return false;
  }
  values = std::move(parsed);
  return true;
}

SettingsLoad LoadSettings(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return SettingsLoad::kUnreadable;
  std::string text(kMaxReadBytes, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) return SettingsLoad::kUnreadable;
  std::vector<int> values;
  if (!ParseSettings(text, values)) return SettingsLoad::kNotSettings;

  SettingsLoad result = SettingsLoad::kLoaded;
  const std::vector<SettingLine>& lines = SettingLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (picture::SetDevice(lines[i].function, values[i]) != 0) result = SettingsLoad::kSetterFailed;
  }
  return result;
}

int LoadSettingsFile(const std::string& path) {
  return LoadSettings(path) == SettingsLoad::kLoaded ? 0 : -1;
}

}  // namespace capture
