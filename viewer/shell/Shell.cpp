// The viewer's process-wide objects and the thread-safe ways to update the live view.
#include "viewer/shell/Shell.h"

#include <QLabel>
#include <QString>
#include <algorithm>

#include "viewer/live/ImageArea.h"
#include "viewer/shell/GuiCall.h"
#include "viewer/shell/LivePage.h"
#include "viewer/shell/ViewState.h"

namespace shell {

Shell& TheShell() {
  static Shell shell;
  return shell;
}

void RequestImageRepaint(int page, int side) {
  if (page < 0 || page >= kPageCount || side <= 0) return;
  Shell& shell = TheShell();
  // Whatever an earlier request showed beyond this one (a larger zoom, the no-signal picture)
  // is painted over once more.
  side = std::max(side, shell.lastRepaintSide[page].exchange(side));
  std::atomic<int>& pendingSide = shell.repaintSide[page];
  int current = pendingSide.load();
  while (current < side && !pendingSide.compare_exchange_weak(current, side)) {
  }
  if (shell.repaintPending[page].exchange(true)) return;
  PostToGui([page] {
    // Requests until the repaint runs only grow its side; no further job is posted meanwhile.
    auto take = [page] {
      Shell& s = TheShell();
      s.repaintPending[page] = false;
      return s.repaintSide[page].exchange(0);
    };
    if (LivePage* p = TheShell().pages[page]) {
      p->Image()->RepaintAtRefresh(take);
    } else {
      take();
    }
  });
}

void PostFrameRateText(int page, const std::string& text) {
  if (page < 0 || page >= kPageCount) return;
  PostToGui([page, text = QString::fromStdString(text)] {
    if (LivePage* p = TheShell().pages[page]) p->FrameRateText()->setText(text);
  });
}

void PaintNoSignal() {
  const int target = View().displayTarget.load();
  if (target == kNoPage) return;
  TheShell().displayBitmap.ShowNoSignal();
  RequestImageRepaint(target);
}

}  // namespace shell
