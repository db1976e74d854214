// The meaning of every library result code, per function where a function gives its own.
#include <climits>
#include <string_view>

#include "Cli.h"

namespace qelctl {
namespace {

// The count a parameter set load returns once its header was good: failed register writes.
constexpr int kRestoreCount = INT_MIN;

struct Meaning {
  // A function name, a name prefix ending in '*', or null for every function.
  const char* function;
  int result;
  const char* text;
};

constexpr const char kUnitNotReady[] = "the unit EEPROM is not ready (busy, in error or absent)";
constexpr const char kUnitWrite[] = "no unit is open or writing the unit EEPROM failed";
constexpr const char kUnitHeader[] =
    "no unit is open, or reading the stored set's header or the head type failed";
constexpr const char kHeadNotReady[] = "the head EEPROM is not ready (busy, in error or absent)";
constexpr const char kHeadWrite[] = "no unit is open or writing the head EEPROM failed";
constexpr const char kHeadRead[] = "no unit is open or reading the head EEPROM failed";

// Searched in order: the first row whose function and result match gives the text.
constexpr Meaning kMeanings[] = {
    {"QEL_Save_Param", 1, kUnitHeader},
    {"QEL_Load_Param", 1, kUnitHeader},
    {"QEL_Load_Param", 2, "no stored parameter set exists"},
    {"QEL_Load_Param", 3, "the stored parameter set has an unknown format version"},
    {"QEL_Load_Param", 4, "the stored parameter set's header is damaged"},
    {"QEL_Load_Param", 5, "reading the stored parameter set failed"},
    {"QEL_Load_Param", 6, "the stored parameter set holds no values for the attached head type"},
    {"QEL_Load_Param", kRestoreCount, "register writes failed while restoring the stored set"},
    {"QEL_Save_CIS_DP_Table", 6, kHeadNotReady},
    {"QEL_Save_CIS_DP_Table", 7, kHeadWrite},
    {"QEL_Init_CIS_EEPROM", 1, "the head EEPROM is not ready, no unit is open or a write failed"},
    {"QEL_Init_CIS_EEPROM", 6, kHeadNotReady},
    {"QEL_Init_CIS_EEPROM", 7, kHeadWrite},
    {"QEL_Save_CIS_GainRB", -1, "the gain index is not 0 (red) or 1 (blue)"},
    {"QEL_Save_CIS_*", 1, "the head EEPROM is not ready, no unit is open or the write failed"},
    {"QEL_Load_CIS_DP_Table", 5, kHeadRead},
    {"QEL_Load_CIS_*", 1, kHeadRead},
    {"QEL_Check_CIS_EEPROM", -2, "reading the device status or the head EEPROM failed"},
    {"QEL_Load_Gamma_Table", 5, "no unit is open or reading the unit EEPROM failed"},
    {"QEL_*", 6, kUnitNotReady},
    {"QEL_*", 7, kUnitWrite},
    {"QEL_EepromRead", 1, "no unit is open or the EEPROM read failed"},
    {"QEL_EepromWrite", 1,
     "no unit is open or the EEPROM write failed (a write while it is busy fails)"},
    {"QEL_GetFrame", -1, "no frame has arrived yet"},
    {"QEL_GetFrame", 1, "the newest frame is the one already delivered"},
    {nullptr, 1, "no unit is open or a control transfer failed"},
    {nullptr, -1, "a null output or an argument outside its list of values"},
};

bool Matches(const char* pattern, std::string_view function) {
  if (pattern == nullptr) return true;
  const std::string_view p(pattern);
  if (!p.empty() && p.back() == '*') return function.starts_with(p.substr(0, p.size() - 1));
  return function == p;
}

const char* Find(std::string_view function, int result) {
  for (const Meaning& m : kMeanings) {
    if (m.result == result && Matches(m.function, function)) return m.text;
  }
  return nullptr;
}

// The default set's functions answer as the user set's.
std::string_view UserSetName(std::string_view function) {
  if (function == "QEL_Save_Default_Param") return "QEL_Save_Param";
  if (function == "QEL_Load_Default_Param") return "QEL_Load_Param";
  if (function == "QEL_Clear_Default_Param") return "QEL_Clear_Param";
  return function;
}

}  // namespace

std::string ResultText(std::string_view function, int result) {
  function = UserSetName(function);
  if (const char* text = Find(function, result)) return text;
  // Past its own refusals, a parameter set load counts the register writes that failed.
  if (function == "QEL_Load_Param" && result > 0) return RestoreFailuresText(result);
  return Format("result %d is not one the library documents", result);
}

std::string RestoreFailuresText(int count) {
  return Format("%d %s", count, Find("QEL_Load_Param", kRestoreCount));
}

}  // namespace qelctl
