// The EEPROM parameter commands of the main menu (40013..40018): the library call under the wait
// cursor, the message for its result and the page refresh that follows a load.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "QEL_API.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/Operator.h"
#include "viewer/picture/core/PageView.h"

class QWidget;

namespace shell {

// What a command does after its message box was closed.
enum class EepromFollowUp : uint8_t {
  kNone,
  kFullRefresh,
  // The unit's default set is in the registers: the Calibration page's tools take their
  // defaults, then the pages show the unit's values.
  kUnitDefaults,
  // The unit holds no default set: the pages show and send the application defaults, the
  // Calibration page takes all its defaults, then the pages show the unit's values.
  kApplicationDefaults,
};

struct EepromOutcome {
  const char* text;  // "%s" stands for the head type, "40K" or "160K"
  base::PromptIcon icon;
  EepromFollowUp followUp;
};

struct EepromCommand {
  int id;
  decltype(&QEL_Load_Param) call;  // the library's calling convention
  int argument;
  EepromOutcome done;      // result 0
  EepromOutcome notFound;  // result above 1; for a load, only a refusal of the stored set
  EepromOutcome failed;    // 1 or negative; for a load, also a failed read or restore
  unsigned setAddress;     // a load's stored set (picture::kUserSetAddress...), else 0
};

// The command of a menu id, or null for any other id.
const EepromCommand* FindEepromCommand(int id);
// The outcome of a result; a load's result is told apart by its stored set's header, which this
// reads from the unit.
EepromOutcome OutcomeOf(const EepromCommand& command, int result);

// GUI thread. The full refresh after a load runs right here, on the GUI thread, rather than on
// the monitor: the operator asked for it and waits under the wait cursor anyway, the page sees
// the loaded values before the command returns, and the monitor (which also sends its batches to
// this thread) is never waited for, so nothing can deadlock.
class EepromCommands {
 public:
  // cisType names the head in the messages; refresh is the pages' full refresh; view gives the
  // page operations (null while there are no pages).
  EepromCommands(base::RefreshHooks& refresh, std::function<picture::PageView*()> view,
                 const std::atomic<int>& cisType);

  // Runs command id with its messages addressed to op (owned by owner); false, doing nothing,
  // for an id that is not an EEPROM command.
  bool Run(int id, base::Operator& op, QWidget* owner);

 private:
  base::RefreshHooks& refresh_;
  std::function<picture::PageView*()> view_;
  const std::atomic<int>& cisType_;
};

}  // namespace shell
