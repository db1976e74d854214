// The "Simulator" menu: plugs, heads, head EEPROM and frame rate of the simulated unit.
#pragma once

class QMenuBar;

namespace shell {

// Adds the menu as the last pop-up; `head` is the head the unit was started with (0 40K,
// 1 160K), so its item starts checked.
void AddSimulatorMenu(QMenuBar* bar, int head);

}  // namespace shell
