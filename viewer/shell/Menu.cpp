// Menu 105 as data, and the menu bar built from it.
#include "viewer/shell/Menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "viewer/base/Ids.h"

namespace shell {

const std::vector<MenuPopup>& MainMenu() {
  static const std::vector<MenuPopup> menu = {
      {"&File",
       {{base::kCmdOpenMedia, "Open File and Play [AVI, BMP]"},
        {base::kCmdPausePlay, "Pause / Play"},
        {base::kCmdPlayStop, "Play Stop"},
        {0, nullptr},
        {base::kCmdLoadSettings, "Load Parameter"},
        {base::kCmdSaveSettings, "Save Parameter"},
        {0, nullptr},
        {base::kCmdExit, "E&xit"}}},
      {"Capture",
       {{base::kCmdVideoCapture, "Start Video Capture"},
        {base::kCmdStillCapture, "Still Capture"},
        {0, nullptr},
        {base::kCmdSaveCsv, "Save as CSV"}}},
      {"&Option",
       {{base::kCmdDebug, "Debug"}, {base::kCmdBoundaryPixels, "Display Boundary Pixels"}}},
      {"EEPROM",
       {{base::kCmdEepromLoad, "Load Parameter  [Data Read]"},
        {base::kCmdEepromSave, "Save Parameter  [Data Write]"},
        {base::kCmdEepromClear, "Clear Parameter"},
        {0, nullptr},
        {base::kCmdEepromLoadDefault, "Load Default Parameter  [Default]"},
        {base::kCmdEepromSaveDefault, "Save Parameter as Default"},
        {base::kCmdEepromClearDefault, "Clear Default Parameter"}}},
      {"Help", {{base::kCmdVersion, "&Version"}}},
  };
  return menu;
}

bool ExpertOnly(int id) {
  return id == base::kCmdEepromSaveDefault || id == base::kCmdEepromClearDefault ||
         id == base::kCmdDebug;
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
      if (item.id == base::kCmdPausePlay || item.id == base::kCmdPlayStop)
        action->setEnabled(false);
      if (item.id == base::kCmdBoundaryPixels) action->setCheckable(true);
      const int id = item.id;
      QObject::connect(action, &QAction::triggered, bar, [dispatch, id] { dispatch(id); });
    }
  }
}

}  // namespace shell
