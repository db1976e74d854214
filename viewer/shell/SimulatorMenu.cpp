// The "Simulator" menu over the simulated unit's control functions.
#include "viewer/shell/SimulatorMenu.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "QEL_Sim.h"

namespace shell {
namespace {

struct Choice {
  const char* name;  // objectName, for tests and scripts
  const char* text;
  int value;
};

// One group of mutually exclusive items; `set` applies the chosen value.
void AddGroup(QMenu* menu, const Choice* choices, int count, int initial, int (*set)(int)) {
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  for (int i = 0; i < count; ++i) {
    QAction* action = menu->addAction(QString::fromLatin1(choices[i].text));
    action->setObjectName(QString::fromLatin1(choices[i].name));
    action->setCheckable(true);
    action->setChecked(choices[i].value == initial);
    group->addAction(action);
    const int value = choices[i].value;
    QObject::connect(action, &QAction::triggered, menu, [set, value] { set(value); });
  }
}

int SetPlugged(int plugged) {
  return QELSIM_SetPlugged(plugged);
}
int SetHead(int head) {
  return QELSIM_SetHead(head);
}
int SetCisEeprom(int state) {
  return QELSIM_SetCisEeprom(state);
}
int SetFrameRate(int milliHz) {
  return QELSIM_SetFrameRate(milliHz);
}

}  // namespace

void AddSimulatorMenu(QMenuBar* bar, int head) {
  QMenu* menu = bar->addMenu(QStringLiteral("Simulator"));
  menu->setObjectName(QStringLiteral("simulator"));

  static const Choice plug[] = {{"simPlug", "Plug In Unit", 1}, {"simUnplug", "Unplug Unit", 0}};
  static const Choice heads[] = {{"simHead40K", "Head 40K", 0},
                                 {"simHead160K", "Head 160K", 1},
                                 {"simHeadNone", "No Head", -1}};
  static const Choice eeprom[] = {{"simEepromNone", "Head EEPROM: None", 0},
                                  {"simEepromBlank", "Head EEPROM: Blank", 1},
                                  {"simEepromFormatted", "Head EEPROM: Formatted", 2}};
  static const Choice rates[] = {{"simRate15", "15 fps", 15000},
                                 {"simRate30", "30 fps", 30000},
                                 {"simRate60", "60 fps", 60000},
                                 {"simRateUsb", "USB 2.0 Limit", 0}};

  // The unit starts plugged in, with a formatted head EEPROM, at 30 fps.
  AddGroup(menu, plug, 2, 1, SetPlugged);
  menu->addSeparator();
  AddGroup(menu, heads, 3, head, SetHead);
  menu->addSeparator();
  AddGroup(menu, eeprom, 3, 2, SetCisEeprom);
  menu->addSeparator();
  AddGroup(menu, rates, 4, 30000, SetFrameRate);
}

}  // namespace shell
