// qelctl: the camera unit from the command line over the library's C API.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Cli.h"
#include "QEL_API.h"
#include "QEL_Sim.h"

namespace {

// CLI11 messages can span lines; every qelctl error is one.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

int Fail(int exitCode, const std::string& message) {
  std::fprintf(stderr, "qelctl: %s\n", OneLine(message).c_str());
  return exitCode;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The value of --simulate: none (40K) or a head type.
bool IsHeadType(const std::string& value) {
  const std::string head = Lower(value);
  return head.empty() || head == "40k" || head == "160k";
}

std::string SimulateRefusal(const std::string& value) {
  return "--simulate takes 40k or 160k, not " + value;
}

// "(see qelctl eeprom read --help)" for the deepest command the line chose.
std::string HelpHint(const CLI::App& app) {
  std::string path = "qelctl";
  const CLI::App* at = &app;
  while (!at->get_subcommands().empty()) {
    at = at->get_subcommands().front();
    path += " " + at->get_name();
  }
  return " (see " + path + " --help)";
}

}  // namespace

// The parse and the commands catch what they throw; what is left can only come from building the
// command table wrongly (the tests run it) or from running out of memory.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
  using namespace qelctl;
  CLI::App app{"Command-line access to the QEL camera unit: status, parameters, EEPROMs.",
               "qelctl"};
  app.require_subcommand(1);
  app.footer(
      "Numbers are decimal or 0x-prefixed hexadecimal. Exit codes: 0 done, 1 the unit is absent, "
      "refused or failed, 2 the command line is wrong.");

  std::string simulate;
  CLI::Option* simulateOption =
      app.add_option("--simulate", simulate,
                     "Run on the simulated unit with a 40K head (the default) or a 160K head")
          ->expected(0, 1)
          ->type_name("[=40k|160k]");
  std::string stateFile;
  CLI::Option* stateOption = app.add_option(
      "--simulate-state", stateFile,
      "Run on the simulated unit and keep its EEPROMs in FILE across runs (implies --simulate)");
  stateOption->type_name("FILE");

  Context context;
  AddRegisteredCommands(app, context);

  std::vector<std::string> helpPath;
  bool helpRequested = false;
  CLI::App* help = app.add_subcommand("help", "This text, or a command's: help [COMMAND...]");
  help->add_option("COMMAND", helpPath, "Command to describe, e.g. eeprom read");
  help->callback([&helpRequested] { helpRequested = true; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    // Without a command, the first word that is no option (nor the head type) names an unknown
    // one; --simulate may have taken it as its head type.
    if (app.get_subcommands().empty()) {
      if (!IsHeadType(simulate)) return Fail(kExitUsage, SimulateRefusal(simulate));
      for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-' && argv[i] != simulate)
          return Fail(kExitUsage, Format("unknown command '%s'", argv[i]) + HelpHint(app));
      }
    }
    if (std::string(e.what()).find("subcommand is required") != std::string::npos)
      return Fail(kExitUsage, "a command is required" + HelpHint(app));
    return Fail(kExitUsage, e.what() + HelpHint(app));
  } catch (const Failure& f) {
    return Fail(f.ExitCode(), f.what());
  }
  if (helpRequested) {
    const CLI::App* at = &app;
    std::string path = "qelctl";
    for (const std::string& word : helpPath) {
      const auto& subcommands = at->get_subcommands([](const CLI::App*) { return true; });
      const auto next = std::find_if(subcommands.begin(), subcommands.end(),
                                     [&word](const CLI::App* c) { return c->check_name(word); });
      if (next == subcommands.end()) {
        return Fail(kExitUsage, "unknown command '" + word + "' (see qelctl --help)");
      }
      at = *next;
      path += " " + at->get_name();
    }
    std::fputs(at->get_formatter()->make_help(at, path, CLI::AppFormatMode::Normal).c_str(),
               stdout);
    return kExitOk;
  }
  if (!context.action) return Fail(kExitUsage, "a command is required" + HelpHint(app));

  if (!IsHeadType(simulate)) return Fail(kExitUsage, SimulateRefusal(simulate));
  const bool simulated = simulateOption->count() > 0 || stateOption->count() > 0;
  const auto runAction = [&context] {
    try {
      context.action();
      std::fflush(stdout);
    } catch (const Failure& f) {
      return Fail(f.ExitCode(), f.what());
    } catch (const std::exception& e) {
      return Fail(kExitDevice, e.what());
    }
    return kExitOk;
  };
  if (!context.usesLibrary) return runAction();
  if (!simulated) {
    UsbIds();  // the library looks for the unit by these ids; a setting it passes over is said
  } else {
    QELSIM_Enable(1);
    QELSIM_SetHead(Lower(simulate) == "160k" ? 1 : 0);
    const int state = stateOption->count() > 0 ? QELSIM_SetStateFile(stateFile.c_str()) : 0;
    if (state > 0) return Fail(kExitUsage, "cannot write " + stateFile + Because(state));
    if (state != 0) {
      return Fail(kExitUsage, stateFile + " is not a state file of the simulated unit");
    }
  }
  QEL_Init();
  const int exitCode = runAction();
  QEL_Term();
  return exitCode;
}
