// The page refreshes and the EEPROM commands wired to the Picture page and the GUI thread.
#include "viewer/shell/ProgramHooks.h"

#include "viewer/picture/PageRefresh.h"
#include "viewer/picture/PicturePage.h"
#include "viewer/shell/EepromCommands.h"
#include "viewer/shell/GuiCall.h"
#include "viewer/shell/Hooks.h"
#include "viewer/shell/MainWindow.h"
#include "viewer/shell/Shell.h"
#include "viewer/shell/ViewState.h"

namespace shell {
namespace {

// GUI thread: the Picture page carries out the page operations for both pages.
picture::PageView* Pages() {
  return dynamic_cast<picture::PicturePage*>(TheShell().pages[kPicturePage].data());
}

class ProgramCommands : public CommandHooks {
 public:
  explicit ProgramCommands(RefreshHooks& refresh) : eeprom_(refresh, &Pages, View().cisType) {}

  void EepromCommand(int id) override {
    Shell& shell = TheShell();
    if (shell.op != nullptr) eeprom_.Run(id, *shell.op, shell.mainWindow.data());
  }

 private:
  EepromCommands eeprom_;
};

}  // namespace

void InstallProgramHooks() {
  static picture::PageRefresh refresh(&Pages, &SendToGui, View().cisType);
  static ProgramCommands commands(refresh);
  Hooks hooks = InstalledHooks();
  hooks.refresh = &refresh;
  hooks.commands = &commands;
  InstallHooks(hooks);
}

}  // namespace shell
