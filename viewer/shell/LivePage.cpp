// The controls both tab pages share and their placement.
#include "viewer/shell/LivePage.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QResizeEvent>
#include <QSignalBlocker>

#include "viewer/live/ImageArea.h"
#include "viewer/shell/Ids.h"
#include "viewer/shell/Shell.h"

namespace shell {
namespace {

struct CameraInfoRow {
  int labelId;
  const char* label;
  int valueId;
  int y;  // page coordinates; the FPN row is never shown
};

constexpr CameraInfoRow kCameraInfoRows[] = {
    {9012, "CIS Type : ", 9112, 33},
    {9001, "CIS EEPROM : ", 9101, 51},
    {9002, "    CIS S/N : ", 9102, 69},
    {9003, "    CIS Usage Count : ", 9103, 87},
    {9004, "    CIS Upper Limit : ", 9104, 105},
    {9005, "    Defect Pixel Data : ", 9105, 123},
    {9006, "    FPN Data : ", 9106, -1},
    {9009, "    Red Gain : ", 9109, 141},
    {9010, "    Blue Gain : ", 9110, 159},
    {9011, "    IFA : ", 9111, 177},
    {9007, "Firmware Ver. : ", 9107, 208},
    {9008, "FPGA Ver. : ", 9108, 226},
};

constexpr int kCameraInfoWidth = 330;
constexpr int kCameraInfoHeight = 240;
constexpr int kLabelX = 845;
constexpr int kValueX = 980;
constexpr int kRowHeight = 16;

QString Id(int id) {
  return QString::number(id);
}

}  // namespace

QStringList ZoomEntries(int cisType) {
  QStringList entries{QStringLiteral("100%"), QStringLiteral("200%")};
  if (cisType == 0) entries << QStringLiteral("400%");
  return entries;
}

LivePage::LivePage(int index, QWidget* parent)
    : QWidget(parent),
      index_(index),
      imageArea_(new ImageArea(this)),
      frameRate_(new QLabel(this)),
      zoomList_(new QComboBox(this)),
      groupArea_(new QWidget(this)) {
  // Workers address the page by its index through this table.
  if (index >= 0 && index < kPageCount) TheShell().pages[index] = this;
  imageArea_->move(kImageAreaX, kImageAreaY);

  frameRate_->setObjectName(Id(kIdFrameRateText));
  frameRate_->setTextFormat(Qt::PlainText);
  frameRate_->setGeometry(448, 13, 270, 16);

  zoomList_->setObjectName(Id(kIdZoomList));
  zoomList_->setGeometry(730, 10, 80, 22);
  FillZoomList(0);
  // Only a confirmed choice counts, not a selection made by the program.
  connect(zoomList_, &QComboBox::activated, this, [this](int entry) {
    if (zoomChosen) zoomChosen(entry);
  });

  BuildCameraInfo();

  groupArea_->setObjectName(QStringLiteral("groupArea"));
  groupArea_->move(kGroupAreaX, kGroupAreaY);
}

void LivePage::BuildCameraInfo() {
  cameraInfo_ = new QGroupBox(QStringLiteral("Camera Info"), this);
  cameraInfo_->setObjectName(Id(kIdCameraInfoBox));
  cameraInfo_->setGeometry(kCameraInfoX, kCameraInfoY, kCameraInfoWidth, kCameraInfoHeight);
  const int left = kLabelX - kCameraInfoX;
  const int valueLeft = kValueX - kCameraInfoX;
  for (const CameraInfoRow& row : kCameraInfoRows) {
    auto* label = new QLabel(QString::fromLatin1(row.label), cameraInfo_);
    label->setObjectName(Id(row.labelId));
    label->setTextFormat(Qt::PlainText);
    auto* value = new QLabel(cameraInfo_);
    value->setObjectName(Id(row.valueId));
    value->setTextFormat(Qt::PlainText);
    cameraInfoValues_[row.valueId] = value;
    if (row.y < 0) {
      label->hide();
      value->hide();
      continue;
    }
    const int y = row.y - kCameraInfoY;
    label->setGeometry(left, y, valueLeft - left, kRowHeight);
    value->setGeometry(valueLeft, y, kCameraInfoWidth - valueLeft - 8, kRowHeight);
  }
  auto* separator = new QFrame(cameraInfo_);
  separator->setObjectName(Id(kIdCameraInfoSeparator));
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  separator->setGeometry(left, 200 - kCameraInfoY, kCameraInfoWidth - 2 * left, 2);
}

void LivePage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  groupArea_->resize(std::max(0, width() - kGroupAreaX), std::max(0, height() - kGroupAreaY));
}

void LivePage::FillZoomList(int cisType) {
  const QSignalBlocker quiet(zoomList_);
  zoomList_->clear();
  zoomList_->addItems(ZoomEntries(cisType));
  zoomList_->setCurrentIndex(0);
}

void LivePage::SelectZoom(int index) {
  const QSignalBlocker quiet(zoomList_);
  zoomList_->setCurrentIndex(index >= 0 && index < zoomList_->count() ? index : -1);
}

void LivePage::SetCameraInfo(int valueId, const QString& text) {
  const auto it = cameraInfoValues_.find(valueId);
  if (it != cameraInfoValues_.end()) it->second->setText(text);
}

QString LivePage::CameraInfo(int valueId) const {
  const auto it = cameraInfoValues_.find(valueId);
  return it != cameraInfoValues_.end() ? it->second->text() : QString();
}

void LivePage::ClearCameraInfo() {
  for (int id : kCameraInfoValueIds) SetCameraInfo(id, QString());
}

}  // namespace shell
