// Scroll bars that appear only below the content size, with the window's scroll arithmetic.
#include "viewer/shell/ScrollHost.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace shell {
namespace {

constexpr int kContentX = 5;
constexpr int kContentY = 7;

void Setup(QScrollBar* bar, int content, int client) {
  const ScrollBarSetup setup = SetupScrollBar(content, client);
  bar->setRange(0, setup.shown ? setup.maximum : 0);
  bar->setPageStep(std::max(setup.page, 1));
  bar->setSingleStep(1);
  bar->setEnabled(setup.shown);
  bar->setValue(0);
}

}  // namespace

ScrollHost::ScrollHost(Extent contentExtent, QWidget* content, QWidget* parent)
    : QAbstractScrollArea(parent), extent_(contentExtent), content_(content) {
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  content_->setParent(viewport());
  PlaceContent();
}

void ScrollHost::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const QSize client = viewport()->size();
  Setup(horizontalScrollBar(), extent_.width, client.width());
  Setup(verticalScrollBar(), extent_.height, client.height());
  PlaceContent();
}

void ScrollHost::scrollContentsBy(int, int) {
  PlaceContent();
}

void ScrollHost::PlaceContent() {
  content_->move(kContentX - horizontalScrollBar()->value(),
                 kContentY - verticalScrollBar()->value());
}

void ScrollHost::Scroll(ScrollAxis axis, ScrollRequest request) {
  if (axis == ScrollAxis::None) return;
  const bool horizontal = axis == ScrollAxis::Horizontal;
  QScrollBar* bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
  const int content = horizontal ? extent_.width : extent_.height;
  const int client = horizontal ? viewport()->width() : viewport()->height();
  bar->setValue(NewScrollPosition(request, bar->value(), bar->value(), content, client));
}

void ScrollHost::wheelEvent(QWheelEvent* event) {
  unsigned keys = 0;
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (mods & Qt::ShiftModifier) keys |= kWheelShift;
  if (mods & Qt::ControlModifier) keys |= kWheelCtrl;
  if ((mods & ~(Qt::ShiftModifier | Qt::ControlModifier)) || event->buttons() != Qt::NoButton)
    keys |= kWheelOther;
  // Some platforms turn a wheel with a modifier into a sideways turn; either delta counts.
  const QPoint angle = event->angleDelta();
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  const QSize client = viewport()->size();
  const WheelScroll scroll =
      ScrollForWheel(keys, delta, client.width() < extent_.width, client.height() < extent_.height);
  Scroll(scroll.axis, scroll.request);
  event->accept();
}

}  // namespace shell
