// What qelctl's command files share: the registry they add their subcommands through, the run
// context, failures with their exit codes, number parsing and the connection wait.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "usb/UsbIds.h"

namespace CLI {
class App;
}

namespace qelctl {

// Exit codes: stable, scripts rely on them.
constexpr int kExitOk = 0;
constexpr int kExitDevice = 1;  // the unit is absent, refused or failed
constexpr int kExitUsage = 2;   // the command line is wrong

// Thrown by a command; main prints the message as one line on stderr and exits with the code.
class Failure : public std::runtime_error {
 public:
  Failure(int exitCode, const std::string& message)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void UsageError(const std::string& message);
[[noreturn]] void DeviceError(const std::string& message);
// ": <the system's text for errno value `error`>", or nothing for 0.
std::string Because(int error);

// A library result other than 0 becomes a device failure naming the function and what the code
// means for it.
void Check(const char* function, int result);
// What a library function's result code means, in words (Results.cpp holds the one table).
std::string ResultText(std::string_view function, int result);
// Text for the "restore count" results of the parameter set loads.
std::string RestoreFailuresText(int count);

// Shared by every command of one run.
struct Context {
  // Set by the chosen subcommand; main runs it between QEL_Init and QEL_Term, or without the
  // library when the command clears usesLibrary (it must not hold the unit itself).
  std::function<void()> action;
  bool usesLibrary = true;
  int connectTimeoutMs = 3000;
};

// Each command file adds its subcommands to the application through one function, registered
// at static initialisation; `order` places its commands in the help text (10 device, 20
// parameters, 30 EEPROM; later groups pick free numbers).
using AddCommandsFn = void (*)(CLI::App& app, Context& context);
struct RegisterCommands {
  RegisterCommands(int order, AddCommandsFn add);
};
void AddRegisteredCommands(CLI::App& app, Context& context);

// Decimal (leading zeros stay decimal) or 0x-prefixed hexadecimal, either optionally negative;
// nothing else. Empty when the text is not such a number or does not fit.
std::optional<long long> ParseNumber(std::string_view text);
// The number in `text`; a usage failure naming `what` otherwise.
long long Number(std::string_view text, const char* what);
// The number in `text` within min..max; a usage failure naming `what` otherwise.
int NumberIn(std::string_view text, const char* what, long long min, long long max);

// The USB ids the library takes for the unit and where they come from; the first call of a run
// reports each malformed setting it passed over, one line each on stderr.
usb::UsbIdChoice UsbIds();

// Waits for the unit to connect; a device failure when it does not within the time-out.
void RequireConnection(const Context& context);
// Attached head type as the library's register bank sees it: 0 40K, otherwise 160K.
int CisType();
// Device status EEPROM state byte in words: "ready", "busy", "in error", "not present".
const char* EepromStateText(int state);

}  // namespace qelctl
