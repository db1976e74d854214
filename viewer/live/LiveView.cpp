// The live view's objects and the thread-safe ways to update it.
#include "viewer/live/LiveView.h"

#include <QLabel>
#include <QString>
#include <algorithm>

#include "viewer/base/GuiCall.h"
#include "viewer/live/ImageArea.h"

namespace live {

LiveView::LiveView(base::ViewState& view, const base::Hooks& hooks)
    : display(view, hooks, *this), view_(view) {}

void LiveView::RequestImageRepaint(int page, int side) {
  if (page < 0 || page >= base::kPageCount || side <= 0) return;
  // Whatever an earlier request showed beyond this one (a larger zoom, the no-signal picture)
  // is painted over once more.
  side = std::max(side, lastRepaintSide_[page].exchange(side));
  std::atomic<int>& pendingSide = repaintSide_[page];
  int current = pendingSide.load();
  while (current < side && !pendingSide.compare_exchange_weak(current, side)) {
  }
  if (repaintPending_[page].exchange(true)) return;
  base::PostToGui([this, page, alive = std::weak_ptr<int>(alive_)] {
    if (alive.expired()) return;
    // Requests until the repaint runs only grow its side; no further job is posted meanwhile.
    auto take = [this, page, alive] {
      if (alive.expired()) return 0;
      repaintPending_[page] = false;
      return repaintSide_[page].exchange(0);
    };
    if (live::ImageArea* area = imageArea ? imageArea(page) : nullptr) {
      area->RepaintAtRefresh(take);
    } else {
      take();
    }
  });
}

void LiveView::PostFrameRateText(int page, const std::string& text) {
  if (page < 0 || page >= base::kPageCount) return;
  base::PostToGui(
      [this, page, text = QString::fromStdString(text), alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired()) return;
        if (QLabel* label = frameRateText ? frameRateText(page) : nullptr) label->setText(text);
      });
}

void LiveView::PaintNoSignal() {
  const int target = view_.displayTarget.load();
  if (target == base::kNoPage) return;
  displayBitmap.ShowNoSignal();
  RequestImageRepaint(target);
}

}  // namespace live
