// Command registry of qelctl: each command file registers its commands at static init.
#pragma once

#include <string>
#include <vector>

namespace qelctl {

// Runs one command; args are the words after the command name. Returns the process exit code.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
  const char* name;
  const char* usage;  // one line, shown by "qelctl help"
  CommandFn run;
};

std::vector<Command>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(const Command& command) { Commands().push_back(command); }
};

// Waits up to timeoutMs for the unit to connect; prints a message and returns false if it
// does not.
bool WaitConnected(int timeoutMs = 3000);

// Parses a decimal or 0x-prefixed integer; false when the text is not a whole number.
bool ParseInt(const std::string& text, long long& value);

}  // namespace qelctl
