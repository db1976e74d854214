// The page refreshes and the EEPROM commands wired to the Picture page and the GUI thread.
#include "viewer/shell/ProgramHooks.h"

#include "viewer/base/GuiCall.h"

namespace shell {

ProgramHooks::ProgramHooks(picture::PageContext& context)
    : context_(context),
      refresh_([&context] { return context.Operations(); }, &base::SendToGui, context.view.cisType),
      eeprom_(
          refresh_, [&context] { return context.Operations(); }, context.view.cisType) {}

void ProgramHooks::EepromCommand(int id) {
  if (context_.op != nullptr) eeprom_.Run(id, *context_.op, context_.Window());
}

}  // namespace shell
