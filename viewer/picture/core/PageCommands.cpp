// The Picture page's commands on the unit and the head EEPROM.
#include "viewer/picture/core/PageCommands.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "QEL_API.h"

namespace picture {
namespace {

struct PolledOperation {
  int (*start)(int);
  int (*poll)(int*);
  const char* error;
  const char* timeout;
};

constexpr PolledOperation kPolled[] = {
    {QEL_Set_AWB, QEL_Get_AWB, "AWB exec error!", "AWB exec timeout!"},
    {QEL_Set_FPN_Data_Acquisition, QEL_Get_FPN_Data_Acquisition, "FPN data acquisition error!",
     "FPN data acquisition timeout!"},
    {QEL_Set_CIS_ManualDetect, QEL_Get_CIS_ManualDetect, "CIS manual detect error!",
     "CIS manual detect timeout!"},
};

struct SaveTexts {
  const char* error;
  const char* complete;
};

constexpr SaveTexts kSaveTexts[] = {
    {"CIS Usage Count save error", "CIS Usage Count save complete"},
    {"CIS Usage Count Upper Limit save error", "CIS Usage Count Upper Limit save complete"},
    {"White Balance (Red Gain && Blue Gain) Data save error",
     "White Balance (Red Gain && Blue Gain) Data save complete"},
    {"Image Fine Adj. (IFA) Data save error", "Image Fine Adj. (IFA) Data save complete"},
};

constexpr int kRed = 0;
constexpr int kBlue = 1;

// The library's state words of QEL_Check_CIS_EEPROM.
constexpr int kNoCisEeprom = 0;

// Header only (1) or every record reset (0), as QEL_Init_CIS_EEPROM takes it.
constexpr int kInitHeaderOnly = 1;
constexpr int kInitAllRecords = 0;

std::optional<int> ReadGain(int index) {
  int value = 0;
  if (QEL_Get_GainRB(index, &value) != 0) return std::nullopt;
  return value;
}

// The unit's current value, or the shown one when the unit cannot be read.
int UnitOrShown(int (*get)(int*), int shown) {
  int value = 0;
  return get(&value) == 0 ? value : shown;
}

int UnitGainOrShown(int index, int shown) {
  return ReadGain(index).value_or(shown);
}

void Show(const CommandPrompts& prompts, const char* text) {
  if (prompts.show) prompts.show({text, CommandIcon::None});
}

// The head EEPROM check of the serial commands; false when no head EEPROM answered.
bool CisEepromConnected(const CommandPrompts& prompts) {
  int state = kNoCisEeprom;
  if (QEL_Check_CIS_EEPROM(&state) != 0) Show(prompts, "CIS EEPROM check error");
  if (state == kNoCisEeprom) {
    Show(prompts, "CIS EEPROM not connected");
    return false;
  }
  return true;
}

}  // namespace

uint32_t SteadyTicks() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

PollResult RunPolledCommand(PolledCommand command, const TickClock& ticks,
                            const std::function<void()>& between) {
  const PolledOperation& op = kPolled[static_cast<int>(command)];
  PollResult result;
  // A refused start would otherwise look exactly like a success, which shows nothing either.
  if (op.start(1) != 0) {
    result.message = op.error;
    return result;
  }
  const uint32_t start = ticks();
  for (;;) {
    int status = 1;
    if (op.poll(&status) != 0) {
      result.message = op.error;
      return result;
    }
    if (status == 0) break;
    if (static_cast<uint32_t>(ticks() - start) > kPollLimitMs) {
      result.message = op.timeout;
      return result;
    }
    if (between) between();
  }
  if (command == PolledCommand::WhiteBalance) {
    result.redGain = ReadGain(kRed);
    result.blueGain = ReadGain(kBlue);
  }
  return result;
}

const char* SaveHeadRecord(HeadRecord record, const ShownRecords& shown) {
  bool ok = false;
  switch (record) {
    case HeadRecord::UseCount:
      ok = QEL_Save_CIS_UseCount(shown.useCount) == 0;
      break;
    case HeadRecord::UseCountLimit:
      ok = QEL_Save_CIS_UseCountLimit(shown.useCountLimit) == 0;
      break;
    case HeadRecord::WhiteBalanceGains: {
      // Both are attempted: a failed red save does not keep the blue gain from the head.
      const bool red = QEL_Save_CIS_GainRB(kRed, UnitGainOrShown(kRed, shown.redGain)) == 0;
      const bool blue = QEL_Save_CIS_GainRB(kBlue, UnitGainOrShown(kBlue, shown.blueGain)) == 0;
      ok = red && blue;
      break;
    }
    case HeadRecord::ImageFineAdj:
      ok =
          QEL_Save_CIS_ImageFineAdj(UnitOrShown(QEL_Get_CIS_ImageFineAdj, shown.imageFineAdj)) == 0;
      break;
  }
  const SaveTexts& texts = kSaveTexts[static_cast<int>(record)];
  return ok ? texts.complete : texts.error;
}

void WriteSerialNo(const std::string& text, bool initialise, const CommandPrompts& prompts) {
  if (initialise) {
    const CommandMessage question{"Wtite Seral No. & Init CIS-EEPROM ?", CommandIcon::Information};
    if (!prompts.ask || !prompts.ask(question)) return;
  }
  std::array<char, kSerialFieldChars + 1> buffer{};
  std::copy_n(text.begin(), std::min(text.size(), kSerialFieldChars), buffer.begin());
  if (!CisEepromConnected(prompts)) return;
  if (QEL_Init_CIS_EEPROM(initialise ? kInitAllRecords : kInitHeaderOnly) != 0) {
    Show(prompts, "CIS EEPROM initialize error");
  }
  Show(prompts, QEL_Save_CIS_SerialNo(buffer.data()) == 0 ? "Serial No. write complete"
                                                          : "Serial No. write error");
}

std::optional<std::string> ReadSerialNo(const CommandPrompts& prompts) {
  if (!CisEepromConnected(prompts)) return std::nullopt;
  std::array<char, kSerialFieldChars + 1> buffer{};
  if (QEL_Load_CIS_SerialNo(buffer.data()) != 0) return std::string("failed.");
  // The head keeps 14 bytes; the zeroed rest of the buffer ends a serial number that fills them.
  return std::string(buffer.data());
}

}  // namespace picture
