// The parameter settings file: its line table, writer and reader.
#include "viewer/capture/SettingsFile.h"

#include <charconv>
#include <cstdio>
#include <sstream>

#include "QEL_API.h"

namespace capture {
namespace {

// A file larger than this is not a settings file; its first 93 words are all the reader needs.
constexpr size_t kMaxReadBytes = 1 << 20;

struct Family {
  const char* key;
  int count;  // 0 for a single parameter
  int (*get)(int index, int* value);
  int (*set)(int index, int value);
};

template <auto Get, auto Set>
constexpr Family Indexed(const char* key, int count) {
  return {key, count, [](int i, int* v) { return Get(i, v); },
          [](int i, int v) { return Set(i, v); }};
}

template <auto Get, auto Set>
constexpr Family Single(const char* key) {
  return {key, 0, [](int, int* v) { return Get(v); }, [](int, int v) { return Set(v); }};
}

constexpr Family kFamilies[] = {
    Indexed<QEL_Get_ControlMode, QEL_Set_ControlMode>("//ControlMode", 2),
    Single<QEL_Get_BlackLevel, QEL_Set_BlackLevel>("//BlackLevel"),
    Single<QEL_Get_ExposureTime, QEL_Set_ExposureTime>("//ExposureTime"),
    Single<QEL_Get_RawGain, QEL_Set_RawGain>("//RawGain"),
    Single<QEL_Get_AGC_AEC_Target, QEL_Set_AGC_AEC_Target>("//AGC_AEC_Target"),
    Indexed<QEL_Get_Hysteresis, QEL_Set_Hysteresis>("//Hysteresis", 4),
    Single<QEL_Get_ControlSpeed, QEL_Set_ControlSpeed>("//ControlSpeed"),
    Indexed<QEL_Get_ControlMonitor, QEL_Set_ControlMonitor>("//ControlMonitor", 2),
    Single<QEL_Get_AWB, QEL_Set_AWB>("//AWB"),
    Indexed<QEL_Get_GainRB, QEL_Set_GainRB>("//GainRB", 2),
    Indexed<QEL_Get_ColorMatrix, QEL_Set_ColorMatrix>("//ColorMatrix", 9),
    Indexed<QEL_Get_GainYC, QEL_Set_GainYC>("//GainYC", 3),
    Single<QEL_Get_Gamma, QEL_Set_Gamma>("//Gamma"),
    Single<QEL_Get_ImageFlip, QEL_Set_ImageFlip>("//ImageFlip"),
    Single<QEL_Get_ImageRotation, QEL_Set_ImageRotation>("//ImageRotation"),
    Single<QEL_Get_DVI_ImageSize, QEL_Set_DVI_ImageSize>("//DVI_ImageSize"),
    Single<QEL_Get_DP_Corr, QEL_Set_DP_Corr>("//DP_Corr"),
    Single<QEL_Get_FPN_Corr, QEL_Set_FPN_Corr>("//FPN_Corr"),
    Single<QEL_Get_CIS_ImageFineAdj, QEL_Set_CIS_ImageFineAdj>("//ImageFineAdj"),
    Single<QEL_Get_NoiseReduction, QEL_Set_NoiseReduction>("//NoiseReduction"),
    Single<QEL_Get_EdgeEnhancement, QEL_Set_EdgeEnhancement>("//EdgeEnhancement"),
    Single<QEL_Get_VFPN_Corr, QEL_Set_VFPN_Corr>("//VFPN_Corr"),
    Single<QEL_Get_DVI_Resolution, QEL_Set_DVI_Resolution>("//DVI_Resolution"),
    Single<QEL_Get_LightLevel, QEL_Set_LightLevel>("//LightLevel"),
    Single<QEL_Get_MinLightLevel, QEL_Set_MinLightLevel>("//MinLightLevel"),
    Single<QEL_Get_ALC_Param, QEL_Set_ALC_Param>("//ALC_Param"),
    Single<QEL_Get_ALC_Target, QEL_Set_ALC_Target>("//ALC_Target"),
    Single<QEL_Get_CIS_VoutCurrent, QEL_Set_CIS_VoutCurrent>("//CIS_VoutCurrent"),
    Single<QEL_Get_CIS_ConnectionDet, QEL_Set_CIS_ConnectionDet>("//CIS_ConnectionDet"),
    Single<QEL_Get_CIS_OverCurrentDet, QEL_Set_CIS_OverCurrentDet>("//CIS_OverCurrentDet"),
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
      if (f.count == 0) {
        out.push_back({f.key, -1, f.get, f.set});
      } else {
        for (int i = 0; i < f.count; ++i) out.push_back({f.key, i, f.get, f.set});
      }
    }
    return out;
  }();
  return lines;
}

std::string SettingText(const SettingLine& line, int value) {
  char text[96];
  if (line.index < 0) {
    std::snprintf(text, sizeof text, "%d\t\t%s\n", value, line.key);
  } else {
    std::snprintf(text, sizeof text, "%d\t\t%s%d\n", value, line.key, line.index + 1);
  }
  return text;
}

int SaveSettingsFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return -1;
  bool ok = std::fprintf(file, "%s\n", kSettingsMagic) > 0;
  int value = 0;
  for (const SettingLine& line : SettingLines()) {
    if (line.get(line.index, &value) != 0) ok = false;
    const std::string text = SettingText(line, value);
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) ok = false;
  }
  if (std::fclose(file) != 0) ok = false;
  return ok ? 0 : -1;
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

int LoadSettingsFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  std::string text(kMaxReadBytes, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  std::vector<int> values;
  if (readError || !ParseSettings(text, values)) return -1;

  int result = 0;
  const std::vector<SettingLine>& lines = SettingLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].set(lines[i].index, values[i]) != 0) result = -1;
  }
  return result;
}

}  // namespace capture
