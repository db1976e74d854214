// The page refreshes and the EEPROM commands the program puts into the seams.
#pragma once

#include "viewer/base/Hooks.h"
#include "viewer/picture/PageContext.h"
#include "viewer/picture/PageRefresh.h"
#include "viewer/shell/EepromCommands.h"

namespace shell {

// The page refreshes deliver to the Picture page of `context` through the GUI thread, which
// carries out the page operations for both pages; the EEPROM commands refresh through them.
class ProgramHooks : public base::CommandHooks {
 public:
  explicit ProgramHooks(picture::PageContext& context);

  base::RefreshHooks& Refresh() { return refresh_; }
  base::CommandHooks& Commands() { return *this; }

  void EepromCommand(int id) override;

 private:
  picture::PageContext& context_;
  picture::PageRefresh refresh_;
  EepromCommands eeprom_;
};

}  // namespace shell
