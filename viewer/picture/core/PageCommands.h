// The Picture page's commands on the unit and the head EEPROM: the polled operations (one-push
// white balance, FPN data acquisition, CIS manual detection), the head record saves and the
// serial number commands, with their message texts. Plain functions over the QEL_ API; the page
// shows their messages through the operator.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace picture {

// Buttons of the page that run these commands.
constexpr int kIdAwbExec = 3007;
constexpr int kIdFpnExec = 3014;
constexpr int kIdManualDetectExec = 3015;
constexpr int kIdSaveGains = 3008;
constexpr int kIdSaveImageFineAdj = 3009;
constexpr int kIdSaveUseCountLimit = 3010;
constexpr int kIdSaveUseCount = 3011;
constexpr int kIdWriteSerialNo = 3012;
constexpr int kIdReadSerialNo = 3013;
constexpr int kIdWriteSerialNoInit = 3016;

// Every message box of these commands has this caption and an OK button.
constexpr const char* kCommandCaption = "info";

enum class CommandIcon { None, Information, Warning };

struct CommandMessage {
  const char* text;
  CommandIcon icon;
};

// How a command talks to the operator while it runs: a message box, or an OK / Cancel question
// (true for OK).
struct CommandPrompts {
  std::function<void(const CommandMessage&)> show;
  std::function<bool(const CommandMessage&)> ask;
};

// The operations the unit reports busy while they run.
enum class PolledCommand { WhiteBalance, FpnAcquisition, ManualDetect };

// The unit is given this long from the start request before the command gives up on it.
constexpr uint32_t kPollLimitMs = 5000;

// Milliseconds of a counter that may wrap; only the difference of two readings counts.
using TickClock = std::function<uint32_t()>;
uint32_t SteadyTicks();

struct PollResult {
  // The warning to show once the wait cursor is gone, or null after success.
  const char* message = nullptr;
  // After a white balance, the gains read back from the unit (each only when its read worked).
  std::optional<int> redGain;
  std::optional<int> blueGain;
};

// Starts the operation, then polls it without pause until the unit reports it finished, a poll
// fails, or more than kPollLimitMs have passed since the start; no stop request is sent on
// giving up. `between` runs after each unfinished poll (the page serves its event queue there).
PollResult RunPolledCommand(PolledCommand command, const TickClock& ticks = SteadyTicks,
                            const std::function<void()>& between = {});

enum class HeadRecord { UseCount, UseCountLimit, WhiteBalanceGains, ImageFineAdj };

// What the page's sliders show. The counts are saved from them; the gains and the IFA value are
// read from the unit and taken from here only when that read fails, so the head never receives a
// value nobody has seen.
struct ShownRecords {
  int useCount = 0;
  int useCountLimit = 0;
  int redGain = 0;
  int blueGain = 0;
  int imageFineAdj = 0;
};

// Saves one record to the head EEPROM; the message to show (no icon).
const char* SaveHeadRecord(HeadRecord record, const ShownRecords& shown);

// The serial number field keeps at most this many characters; the head keeps the first 14.
constexpr size_t kSerialFieldChars = 63;

// "Write" (initialise false: the EEPROM header only) and "Write && Init" (initialise true: every
// head record reset first, after the operator's OK) of the serial field's text.
void WriteSerialNo(const std::string& text, bool initialise, const CommandPrompts& prompts);

// "Read": the text for the serial field, or nothing when the field is to stay as it is.
std::optional<std::string> ReadSerialNo(const CommandPrompts& prompts);

}  // namespace picture
