// Parameter sets in the unit EEPROM from the menu: load, save and clear, for the head's own set
// and for the default set.
#include "viewer/shell/EepromCommands.h"

#include <QCursor>
#include <QGuiApplication>
#include <QString>
#include <utility>

#include "viewer/base/Ids.h"
#include "viewer/base/WaitCursor.h"
#include "viewer/picture/core/Controls.h"
#include "viewer/picture/core/DeviceFunctions.h"

namespace shell {
namespace {

using enum EepromFollowUp;
constexpr base::PromptIcon kInfo = base::PromptIcon::Information;
constexpr base::PromptIcon kWarn = base::PromptIcon::Warning;

// The clear commands wipe the whole area (argument 1), both head types at once.
// Not constexpr: an imported function's address is known only once the library is loaded.
const EepromCommand kCommands[] = {
    {base::kCmdEepromLoad,
     &QEL_Load_Param,
     0,
     {"Load Parameter[%s] : Complete.", kInfo, kFullRefresh},
     {"No Saved Parameter[%s] Found in EEPROM.", kInfo, kNone},
     {"Load Parameter[%s] : Error!", kWarn, kNone},
     picture::kUserSetAddress},
    {base::kCmdEepromSave,
     &QEL_Save_Param,
     0,
     {"Save Parameter[%s] : Complete.", kInfo, kNone},
     {"Save Parameter[%s] : Error!", kWarn, kNone},
     {"Save Parameter[%s] : Error!", kWarn, kNone},
     0},
    {base::kCmdEepromClear,
     &QEL_Clear_Param,
     1,
     {"Clear Parameter[40K&160K] : Complete.", kInfo, kNone},
     {"Clear Parameter[40K&160K] : Error!", kWarn, kNone},
     {"Clear Parameter[40K&160K] : Error!", kWarn, kNone},
     0},
    {base::kCmdEepromLoadDefault,
     &QEL_Load_Default_Param,
     0,
     {"Load Default Parameter[%s] : Complete.", kInfo, kUnitDefaults},
     {"No Default Parameter[%s] Found in EEPROM.\nUse Application Default Setting.", kInfo,
      kApplicationDefaults},
     {"Load Default Parameter[%s] : Error!", kWarn, kNone},
     picture::kDefaultSetAddress},
    {base::kCmdEepromSaveDefault,
     &QEL_Save_Default_Param,
     0,
     {"Save Parameter[%s] as Default : Complete.", kInfo, kNone},
     {"Save Parameter[%s] as Default : Error!", kWarn, kNone},
     {"Save Parameter[%s] as Default : Error!", kWarn, kNone},
     0},
    {base::kCmdEepromClearDefault,
     &QEL_Clear_Default_Param,
     1,
     {"Clear Default Parameter[40K&160K] : Complete.", kInfo, kNone},
     {"Clear Default Parameter[40K&160K] : Error!", kWarn, kNone},
     {"Clear Default Parameter[40K&160K] : Error!", kWarn, kNone},
     0},
};

}  // namespace

const EepromCommand* FindEepromCommand(int id) {
  for (const EepromCommand& command : kCommands) {
    if (command.id == id) return &command;
  }
  return nullptr;
}

EepromOutcome OutcomeOf(const EepromCommand& command, int result) {
  if (command.setAddress == 0) {
    if (result == 0) return command.done;
    return result > 1 ? command.notFound : command.failed;
  }
  switch (picture::ClassifySetLoad(result, command.setAddress)) {
    case picture::SetLoad::kRestored:
      return command.done;
    case picture::SetLoad::kNoSet:
      return command.notFound;
    case picture::SetLoad::kFailed:
      return command.failed;
    case picture::SetLoad::kRestoreFailed:
      break;
  }
  // Part of the set reached the registers: an error, and the pages show what the unit holds.
  EepromOutcome outcome = command.failed;
  outcome.followUp = kFullRefresh;
  return outcome;
}

EepromCommands::EepromCommands(base::RefreshHooks& refresh,
                               std::function<picture::PageView*()> view,
                               const std::atomic<int>& cisType)
    : refresh_(refresh), view_(std::move(view)), cisType_(cisType) {}

bool EepromCommands::Run(int id, base::Operator& op, QWidget* owner) {
  const EepromCommand* command = FindEepromCommand(id);
  if (command == nullptr) return false;
  EepromOutcome outcome{};
  {
    // Telling a load's results apart reads from the unit too.
    const base::WaitCursor wait;
    outcome = OutcomeOf(*command, command->call(command->argument));
  }
  const QString type = QString::fromLatin1(picture::HeadTypeText(cisType_.load()));
  op.Message(owner, QStringLiteral("Message"),
             QString::fromLatin1(outcome.text).replace(QLatin1String("%s"), type), outcome.icon);

  picture::PageView* view = outcome.followUp == kNone ? nullptr : view_();
  switch (outcome.followUp) {
    case kNone:
      return true;
    case kFullRefresh:
      break;
    case kUnitDefaults:
      if (view != nullptr) view->ResetCalibrationDefaults(false);
      break;
    case kApplicationDefaults:
      if (view != nullptr) {
        view->ApplyApplicationDefaults();
        view->ResetCalibrationDefaults(true);
      }
      break;
  }
  refresh_.FullRefresh();
  return true;
}

}  // namespace shell
