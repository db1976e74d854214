// qelctl's shared helpers: command registry, failures, numbers and the connection wait.
#include "Cli.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "QEL_API.h"
#include "viewer/files/Files.h"

namespace qelctl {
namespace {

struct Registered {
  int order;
  AddCommandsFn add;
};

std::vector<Registered>& Registry() {
  static std::vector<Registered> registry;
  return registry;
}

}  // namespace

RegisterCommands::RegisterCommands(int order, AddCommandsFn add) {
  Registry().push_back({order, add});
}

void AddRegisteredCommands(CLI::App& app, Context& context) {
  std::vector<Registered> groups = Registry();
  std::stable_sort(groups.begin(), groups.end(),
                   [](const Registered& a, const Registered& b) { return a.order < b.order; });
  for (const Registered& group : groups) group.add(app, context);
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(static_cast<size_t>(std::max(length, 0)), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

void UsageError(const std::string& message) {
  throw Failure(kExitUsage, message);
}

void DeviceError(const std::string& message) {
  throw Failure(kExitDevice, message);
}

std::string Because(int error) {
  return error == 0 ? std::string() : ": " + files::Result{error}.Reason();
}

void Check(const char* function, int result) {
  if (result == 0) return;
  DeviceError(Format("%s: %s (result %d)", function, ResultText(function, result).c_str(), result));
}

std::optional<long long> ParseNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  unsigned long long value = 0;
  for (const char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    // Far beyond anything a command takes; checked before the step so that nothing wraps.
    constexpr unsigned long long kLimit = 1ull << 62;
    if (value > (kLimit - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) {
      return std::nullopt;
    }
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  const long long signedValue = static_cast<long long>(value);
  return negative ? -signedValue : signedValue;
}

long long Number(std::string_view text, const char* what) {
  const std::optional<long long> value = ParseNumber(text);
  if (!value) {
    UsageError(Format("%s '%.*s' is not a number (use decimal or 0x-prefixed hexadecimal)", what,
                      static_cast<int>(text.size()), text.data()));
  }
  return *value;
}

int NumberIn(std::string_view text, const char* what, long long min, long long max) {
  const long long value = Number(text, what);
  if (value < min || value > max) {
    UsageError(Format("%s %.*s is outside %lld..%lld", what, static_cast<int>(text.size()),
                      text.data(), min, max));
  }
  return static_cast<int>(value);
}

usb::UsbIdChoice UsbIds() {
  static bool reported = false;
  usb::UsbIdChoice choice = usb::ConfiguredUsbIds();
  if (!reported) {
    for (const std::string& problem : choice.problems) {
      std::fprintf(stderr, "qelctl: %s\n", problem.c_str());
    }
    reported = true;
  }
  return choice;
}

void RequireConnection(const Context& context) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(context.connectTimeoutMs);
  int status = 0;
  while (QEL_GetStatus(&status) == 0 && status == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      DeviceError("no camera unit connected");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int CisType() {
  int type = 0;
  Check("QEL_Get_CIS_Type", QEL_Get_CIS_Type(&type));
  return type == 0 ? 0 : 1;
}

const char* EepromStateText(int state) {
  switch (state) {
    case 0:
      return "ready";
    case 1:
      return "busy";
    case 2:
      return "in error";
    case 3:
      return "not present";
    default:
      return "in an unknown state";
  }
}

}  // namespace qelctl
