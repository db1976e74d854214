// Scroll bars that appear only below the content size, with the window's scroll arithmetic.
#include "viewer/shell/ScrollHost.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
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
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  content_->setParent(viewport());
  PlaceContent();
  qApp->installEventFilter(this);
}

void ScrollHost::SetContentSize(Extent extent) {
  extent_ = extent;
  UpdateScrollBars();
}

void ScrollHost::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void ScrollHost::UpdateScrollBars() {
  // The client is what is left once the bars that are needed take their room; one bar can make
  // the other needed.
  const QSize full = contentsRect().size();  // the frame is none, and no margins are set
  const int barWidth = verticalScrollBar()->sizeHint().width();
  const int barHeight = horizontalScrollBar()->sizeHint().height();
  bool horizontal = extent_.width > full.width();
  bool vertical = extent_.height > full.height();
  if (horizontal && !vertical) vertical = extent_.height > full.height() - barHeight;
  if (vertical && !horizontal) horizontal = extent_.width > full.width() - barWidth;
  const int clientWidth = full.width() - (vertical ? barWidth : 0);
  const int clientHeight = full.height() - (horizontal ? barHeight : 0);
  // The bars are shown as decided here, not by the scroll area's own guess from old ranges.
  setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  Setup(horizontalScrollBar(), extent_.width, clientWidth);
  Setup(verticalScrollBar(), extent_.height, clientHeight);
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
  // Some platforms turn a wheel with Shift or Ctrl into a sideways turn, so then either delta
  // counts; a sideways tilt of its own scrolls nothing.
  const QPoint angle = event->angleDelta();
  const bool modified = (keys & (kWheelShift | kWheelCtrl)) != 0;
  const int delta = angle.y() != 0 ? angle.y() : (modified ? angle.x() : 0);
  event->accept();
  if (delta == 0) return;
  const QSize client = viewport()->size();
  const WheelScroll scroll =
      ScrollForWheel(keys, delta, client.width() < extent_.width, client.height() < extent_.height);
  Scroll(scroll.axis, scroll.request);
}

bool ScrollHost::eventFilter(QObject* watched, QEvent* event) {
  // A wheel over a list, slider or number field that does not have the focus scrolls the
  // window instead of changing a camera value by accident.
  if (event->type() == QEvent::Wheel) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool control = qobject_cast<QComboBox*>(watched) ||
                         qobject_cast<QAbstractSlider*>(watched) ||
                         qobject_cast<QAbstractSpinBox*>(watched);
    if (control && !widget->hasFocus() && isAncestorOf(widget)) {
      wheelEvent(static_cast<QWheelEvent*>(event));
      return true;
    }
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

}  // namespace shell
