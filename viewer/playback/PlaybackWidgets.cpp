// The playback widgets and where they go on the page.
#include "viewer/playback/PlaybackWidgets.h"

#include <QEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

#include "viewer/base/Ids.h"
#include "viewer/live/ImageArea.h"
#include "viewer/picture/LivePage.h"

namespace playback {
namespace {

constexpr int kStatusX = 616;
constexpr int kStatusY = 858;
constexpr int kStatusWidth = 200;
constexpr int kStatusHeight = 16;

template <typename T>
T* FindById(QWidget* page, int id) {
  return page->findChild<T*>(QString::number(id));
}

// Keeps the video window on the image area's rectangle wherever the page's layout puts it.
class FollowImageArea : public QObject {
 public:
  FollowImageArea(QWidget* imageArea, QWidget* videoWindow)
      : QObject(videoWindow), imageArea_(imageArea), videoWindow_(videoWindow) {
    imageArea->installEventFilter(this);
    videoWindow->setGeometry(imageArea->geometry());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == imageArea_ &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
      videoWindow_->setGeometry(imageArea_->geometry());
    }
    return false;
  }

 private:
  QWidget* imageArea_;
  QWidget* videoWindow_;
};

QLabel* MakeLabel(QWidget* page, int id) {
  auto* label = new QLabel(page);
  label->setObjectName(QString::number(id));
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoView::SetPicture(const uint8_t* pixels, int width, int height, size_t stride) {
  picture_ = pixels == nullptr
                 ? QImage()
                 : QImage(pixels, width, height, qsizetype(stride), QImage::Format_RGB32);
  update();
}

void VideoView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(event->rect(), Qt::black);
    return;
  }
  // Without smoothing every picture pixel becomes a zoom x zoom block, like the live view.
  painter.drawImage(rect(), picture_);
}

PlaybackControls AttachPlaybackControls(picture::LivePage* page) {
  PlaybackControls c;
  c.videoWindow = FindById<QWidget>(page, base::kIdVideoWindow);
  if (c.videoWindow == nullptr) {
    c.videoWindow = new QWidget(page);
    c.videoWindow->setObjectName(QString::number(base::kIdVideoWindow));
    c.videoWindow->hide();
  }
  c.view = c.videoWindow->findChild<VideoView*>();
  if (c.view == nullptr) {
    c.view = new VideoView(c.videoWindow);
    new FollowImageArea(page->Image(), c.videoWindow);
  }
  // Hidden during playback, the image area keeps its place in the page's layout, so neither the
  // video window over it nor the controls around it move.
  QSizePolicy policy = page->Image()->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  page->Image()->setSizePolicy(policy);

  c.fileLabel = FindById<QLabel>(page, base::kIdFileLabel);
  if (c.fileLabel == nullptr) {
    c.fileLabel = MakeLabel(page, base::kIdFileLabel);
    c.fileLabel->setGeometry(page->FrameRateText()->geometry());
    c.fileLabel->hide();
  }
  c.status = FindById<QLabel>(page, base::kIdPlaybackStatus);
  if (c.status == nullptr) {
    c.status = MakeLabel(page, base::kIdPlaybackStatus);
    c.status->setGeometry(kStatusX, kStatusY, kStatusWidth, kStatusHeight);
    c.status->setText(QStringLiteral("LIVE"));
  }
  return c;
}

}  // namespace playback
