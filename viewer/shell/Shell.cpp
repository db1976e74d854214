// The viewer's process-wide objects and the thread-safe ways to update the live view.
#include "viewer/shell/Shell.h"

#include <QLabel>
#include <QString>

#include "viewer/live/ImageArea.h"
#include "viewer/shell/GuiCall.h"
#include "viewer/shell/LivePage.h"
#include "viewer/shell/ViewState.h"

namespace shell {

Shell& TheShell() {
  static Shell shell;
  return shell;
}

void RequestImageRepaint(int page) {
  if (page < 0 || page >= kPageCount) return;
  if (TheShell().repaintPending[page].exchange(true)) return;
  PostToGui([page] {
    Shell& shell = TheShell();
    shell.repaintPending[page] = false;
    if (LivePage* p = shell.pages[page]) p->Image()->update();
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
