// Menu 105 as data, and the menu bar built from it.
#include "viewer/shell/Menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "viewer/shell/Ids.h"

namespace shell {

const std::vector<MenuPopup>& MainMenu() {
  static const std::vector<MenuPopup> menu = {
      {"&File",
       {{kCmdOpenMedia, "Open File and Play [AVI, BMP]"},
        {kCmdPausePlay, "Pause / Play"},
        {kCmdPlayStop, "Play Stop"},
        {0, nullptr},
        {kCmdLoadSettings, "Load Parameter"},
        {kCmdSaveSettings, "Save Parameter"},
        {0, nullptr},
        {kCmdExit, "E&xit"}}},
      {"Capture",
       {{kCmdVideoCapture, "Start Video Capture"},
        {kCmdStillCapture, "Still Capture"},
        {0, nullptr},
        {kCmdSaveCsv, "Save as CSV"}}},
      {"&Option", {{kCmdDebug, "Debug"}, {kCmdBoundaryPixels, "Display Boundary Pixels"}}},
      {"EEPROM",
       {{kCmdEepromLoad, "Load Parameter  [Data Read]"},
        {kCmdEepromSave, "Save Parameter  [Data Write]"},
        {kCmdEepromClear, "Clear Parameter"},
        {0, nullptr},
        {kCmdEepromLoadDefault, "Load Default Parameter  [Default]"},
        {kCmdEepromSaveDefault, "Save Parameter as Default"},
        {kCmdEepromClearDefault, "Clear Default Parameter"}}},
      {"Help", {{kCmdVersion, "&Version"}}},
  };
  return menu;
}

bool ExpertOnly(int id) {
  return id == kCmdEepromSaveDefault || id == kCmdEepromClearDefault || id == kCmdDebug;
}

void BuildMainMenu(QMenuBar* bar, bool expertMode, const std::function<void(int)>& dispatch) {
  for (const MenuPopup& popup : MainMenu()) {
    QMenu* menu = bar->addMenu(QString::fromLatin1(popup.title));
    for (const MenuItem& item : popup.items) {
      if (item.id == 0) {
        menu->addSeparator();
        continue;
      }
      if (ExpertOnly(item.id) && !expertMode) continue;
      QAction* action = menu->addAction(QString::fromLatin1(item.text));
      action->setObjectName(QString::number(item.id));
      action->setData(item.id);
      if (item.id == kCmdPausePlay || item.id == kCmdPlayStop) action->setEnabled(false);
      if (item.id == kCmdBoundaryPixels) action->setCheckable(true);
      const int id = item.id;
      QObject::connect(action, &QAction::triggered, bar, [dispatch, id] { dispatch(id); });
    }
  }
}

}  // namespace shell
