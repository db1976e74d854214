// Menu 105: the main window's pop-ups, their items, command ids and texts.
#pragma once

#include <functional>
#include <vector>

class QMenuBar;

namespace shell {

struct MenuItem {
  int id;  // 0: separator
  const char* text;
};

struct MenuPopup {
  const char* title;
  std::vector<MenuItem> items;
};

const std::vector<MenuPopup>& MainMenu();

// Items that exist only in expert mode.
bool ExpertOnly(int id);

// Fills a menu bar with menu 105. Each item's action carries its id as data and as objectName;
// without expert mode the expert items are left out. Pause/Play and Play Stop start grey and
// Display Boundary Pixels is checkable. `dispatch` receives the id of a triggered item.
void BuildMainMenu(QMenuBar* bar, bool expertMode, const std::function<void(int)>& dispatch);

}  // namespace shell
