// qelctl commands for camera parameters and the parameter sets stored in the unit EEPROM.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Cli.h"
#include "QEL_API.h"
#include "viewer/picture/core/Controls.h"
#include "viewer/picture/core/DeviceFunctions.h"

namespace qelctl {
namespace {

using picture::DeviceFunction;
using picture::ParamInfo;

// Command line of get and set.
struct ParamArgs {
  std::string name;
  std::vector<std::string> words;  // [INDEX] and, for set, VALUE
  bool json = false;
};

// The call a command line names, its index checked against the parameter's list.
struct Named {
  const ParamInfo* info;
  DeviceFunction function;
};

const ParamInfo& FindOrRefuse(const std::string& name) {
  const ParamInfo* info = picture::FindParam(name);
  if (info == nullptr) {
    UsageError(Format("unknown parameter '%s' (qelctl get --help lists them)", name.c_str()));
  }
  return *info;
}

// words: the index (indexed parameters only) followed by valueWords values.
Named Resolve(const ParamArgs& args, size_t valueWords) {
  const ParamInfo& info = FindOrRefuse(args.name);
  const bool indexed = info.count > 1;
  const size_t expected = valueWords + (indexed ? 1 : 0);
  const char* needs = valueWords == 0 ? "" : " and a value";
  if (args.words.size() < expected) {
    if (indexed) UsageError(Format("%s needs an index 0..%d%s", info.name, info.count - 1, needs));
    UsageError(Format("%s needs a value", info.name));
  }
  if (args.words.size() > expected) {
    if (!indexed && args.words.size() == expected + 1) {
      UsageError(Format("%s takes no index", info.name));
    }
    UsageError(Format("too many arguments for %s", info.name));
  }
  int index = 0;
  if (indexed) {
    index = NumberIn(args.words[0], (std::string(info.name) + " index").c_str(), 0, info.count - 1);
  }
  return {&info, {picture::ParamOf(info), static_cast<uint8_t>(index)}};
}

std::string CallName(const char* prefix, const ParamInfo& info) {
  return std::string(prefix) + info.name;
}

void Get(const Context& context, const Named& named, bool asJson) {
  RequireConnection(context);
  int value = 0;
  Check(CallName("QEL_Get_", *named.info).c_str(), picture::GetDevice(named.function, &value));
  if (!asJson) {
    std::printf("%d\n", value);
    return;
  }
  nlohmann::json out{{"name", named.info->name}};
  if (named.info->count > 1) out["index"] = named.function.index;
  out["value"] = value;
  std::printf("%s\n", out.dump().c_str());
}

// The values a list control produces: "0, 3".
std::string Describe(const picture::DeviceValues& allowed) {
  std::string text;
  for (const int v : allowed.values) text += (text.empty() ? "" : ", ") + std::to_string(v);
  return text;
}

// `text` is the value as the command line gave it.
void Set(const Context& context, const Named& named, long long value, const std::string& text) {
  RequireConnection(context);
  const int cisType = CisType();
  const picture::DeviceValues allowed = picture::AllowedValues(named.function, cisType);
  if (value < allowed.range.min || value > allowed.range.max ||
      !allowed.Contains(static_cast<int>(value))) {
    const std::string what = named.info->count > 1
                                 ? Format("%s %d", named.info->name, named.function.index)
                                 : std::string(named.info->name);
    if (allowed.values.empty()) {
      UsageError(Format("value %s for %s is outside %d..%d", text.c_str(), what.c_str(),
                        allowed.range.min, allowed.range.max));
    }
    UsageError(Format("value %s for %s is not one of %s with a %s head", text.c_str(), what.c_str(),
                      Describe(allowed).c_str(), picture::HeadTypeText(cisType)));
  }
  Check(CallName("QEL_Set_", *named.info).c_str(),
        picture::SetDevice(named.function, static_cast<int>(value)));
}

// The library saves its parameter shadow, which only holds what this process has read or
// written; a fresh qelctl has touched nothing. Reading every parameter first brings the shadow
// in step with the unit, so the stored set is the unit's and not a set of untouched 0xFFFF.
void ReadEveryParameter() {
  for (const ParamInfo& info : picture::Params()) {
    for (int index = 0; index < info.count; ++index) {
      int value = 0;
      const int result = info.get(index, &value);
      if (result != 0) {
        DeviceError(Format("reading %s failed, nothing saved: %s (result %d)", info.name,
                           ResultText(CallName("QEL_Get_", info), result).c_str(), result));
      }
    }
  }
}

// A load's codes 2..7 are either its own refusals or a count of failed register writes; the
// stored header tells which.
void CheckLoad(const char* function, int result, unsigned address) {
  if (picture::ClassifySetLoad(result, address) == picture::SetLoad::kRestoreFailed) {
    DeviceError(
        Format("%s: %s (result %d)", function, RestoreFailuresText(result).c_str(), result));
  }
  Check(function, result);
}

void SaveParam(const Context& context, bool isDefault) {
  RequireConnection(context);
  ReadEveryParameter();
  if (isDefault)
    Check("QEL_Save_Default_Param", QEL_Save_Default_Param(0));
  else
    Check("QEL_Save_Param", QEL_Save_Param(0));
}

void LoadParam(const Context& context, bool isDefault) {
  RequireConnection(context);
  if (isDefault)
    CheckLoad("QEL_Load_Default_Param", QEL_Load_Default_Param(0), picture::kDefaultSetAddress);
  else
    CheckLoad("QEL_Load_Param", QEL_Load_Param(0), picture::kUserSetAddress);
}

void ClearParam(const Context& context, bool isDefault, int mode) {
  RequireConnection(context);
  if (isDefault)
    Check("QEL_Clear_Default_Param", QEL_Clear_Default_Param(mode));
  else
    Check("QEL_Clear_Param", QEL_Clear_Param(mode));
}

std::string ParameterNames() {
  std::string text = "Parameters (NAME as in QEL_Get_NAME; case does not matter):";
  size_t column = 0;
  for (const ParamInfo& info : picture::Params()) {
    const std::string entry =
        info.count > 1 ? Format("%s[0..%d]", info.name, info.count - 1) : info.name;
    if (column == 0 || column + entry.size() > 76) {
      text += "\n  ";
      column = 2;
    } else {
      text += " ";
      ++column;
    }
    text += entry;
    column += entry.size();
  }
  return text;
}

void AddParamCommands(CLI::App& app, Context& context) {
  auto getArgs = std::make_shared<ParamArgs>();
  CLI::App* get = app.add_subcommand("get", "Read a parameter: get NAME [INDEX]");
  get->add_option("NAME", getArgs->name, "Parameter name")->required();
  get->add_option("INDEX", getArgs->words, "Index, for parameters with several");
  get->add_flag("--json", getArgs->json, "Print one JSON object");
  get->footer(ParameterNames());
  // Usage faults are found while parsing, before the library starts.
  get->callback([&context, getArgs] {
    const Named named = Resolve(*getArgs, 0);
    context.action = [&context, named, asJson = getArgs->json] { Get(context, named, asJson); };
  });

  auto setArgs = std::make_shared<ParamArgs>();
  CLI::App* set = app.add_subcommand(
      "set", "Write a parameter: set NAME [INDEX] VALUE, within the range its page control has");
  set->add_option("NAME", setArgs->name, "Parameter name")->required();
  set->add_option("ARGS", setArgs->words, "Index (for parameters with several) and value");
  set->footer(ParameterNames());
  set->callback([&context, setArgs] {
    const ParamInfo& info = FindOrRefuse(setArgs->name);
    if (info.set == nullptr) UsageError(Format("%s is read-only", info.name));
    const Named named = Resolve(*setArgs, 1);
    const std::string text = setArgs->words.back();
    const long long value = Number(text, "value");
    context.action = [&context, named, value, text] { Set(context, named, value, text); };
  });

  auto isDefault = std::make_shared<bool>(false);
  CLI::App* save =
      app.add_subcommand("save-param", "Store the unit's parameters in the unit EEPROM");
  save->add_flag("--default", *isDefault, "The default set instead of the user set");
  save->callback([&context, isDefault] {
    context.action = [&context, isDefault] { SaveParam(context, *isDefault); };
  });

  CLI::App* load =
      app.add_subcommand("load-param", "Load the parameter set stored in the unit EEPROM");
  load->add_flag("--default", *isDefault, "The default set instead of the user set");
  load->callback([&context, isDefault] {
    context.action = [&context, isDefault] { LoadParam(context, *isDefault); };
  });

  auto mode = std::make_shared<std::string>("0");
  CLI::App* clear =
      app.add_subcommand("clear-param", "Erase the stored parameter set: clear-param [MODE]");
  clear->add_option("MODE", *mode, "0 erases the header only (default), 1 the whole area");
  clear->add_flag("--default", *isDefault, "The default set instead of the user set");
  clear->callback([&context, isDefault, mode] {
    const int m = NumberIn(*mode, "MODE", 0, 1);
    context.action = [&context, isDefault, m] { ClearParam(context, *isDefault, m); };
  });
}

const RegisterCommands kRegistered(20, AddParamCommands);

}  // namespace
}  // namespace qelctl
