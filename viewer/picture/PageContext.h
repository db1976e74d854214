// What the pages and the commands that act on them are built with: the view state, the seams,
// the operator, the live view, the parameter model, and the main window's pages and menu. The
// application owns it; the main window fills in its lookups while it exists.
#pragma once

#include <functional>

#include "viewer/base/Hooks.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/LiveView.h"
#include "viewer/picture/core/ParameterModel.h"

class QAction;
class QWidget;

namespace picture {

class LivePage;
class PageView;

struct PageContext {
  PageContext(base::ViewState& v, base::Hooks& h, live::LiveView& l) : view(v), hooks(h), live(l) {}

  base::ViewState& view;
  base::Hooks& hooks;
  live::LiveView& live;
  // Null before start-up and after shutdown.
  base::Operator* op = nullptr;
  // What both pages show of the parameters; each page subscribes while it exists.
  ParameterModel parameters;

  // GUI thread. A page by index; the main window; a menu item by command id; the page
  // operations the refreshes and the EEPROM commands drive (the Picture page). Each gives null
  // while there is no main window or no such item.
  LivePage* Page(int index) const { return page ? page(index) : nullptr; }
  QWidget* Window() const { return window ? window() : nullptr; }
  QAction* MenuAction(int id) const { return menuAction ? menuAction(id) : nullptr; }
  PageView* Operations() const { return operations ? operations() : nullptr; }

  std::function<LivePage*(int)> page;
  std::function<QWidget*()> window;
  std::function<QAction*(int)> menuAction;
  std::function<PageView*()> operations;
};

}  // namespace picture
