// The controls both tab pages share and their placement.
#include "viewer/shell/LivePage.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
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
  bool shown;  // the FPN row is never shown
};

// In the order of the box; the separator stands before the version rows.
constexpr CameraInfoRow kCameraInfoRows[] = {
    {9012, "CIS Type : ", 9112, true},
    {9001, "CIS EEPROM : ", 9101, true},
    {9002, "    CIS S/N : ", 9102, true},
    {9003, "    CIS Usage Count : ", 9103, true},
    {9004, "    CIS Upper Limit : ", 9104, true},
    {9005, "    Defect Pixel Data : ", 9105, true},
    {9006, "    FPN Data : ", 9106, false},
    {9009, "    Red Gain : ", 9109, true},
    {9010, "    Blue Gain : ", 9110, true},
    {9011, "    IFA : ", 9111, true},
    {9007, "Firmware Ver. : ", 9107, true},
    {9008, "FPGA Ver. : ", 9108, true},
};
constexpr int kSeparatorBefore = 9007;

// The box is at least as large as on the page layout; a larger font makes it grow.
constexpr int kCameraInfoWidth = 330;
constexpr int kCameraInfoHeight = 240;
constexpr int kValueColumnWidth = 170;
// The bottom button row of the pages stands at this height; the page is at least that tall.
constexpr int kBottomRowY = 855;
constexpr int kPageMargin = 4;

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

  groupArea_->setObjectName(QStringLiteral("groupArea"));
  BuildCameraInfo();
}

void LivePage::BuildCameraInfo() {
  cameraInfo_ = new QGroupBox(QStringLiteral("Camera Info"), this);
  cameraInfo_->setObjectName(Id(kIdCameraInfoBox));
  // Rows follow the font's metrics, so no text is cut with a larger application font.
  auto* grid = new QGridLayout(cameraInfo_);
  grid->setContentsMargins(15, grid->contentsMargins().top(), 8, 8);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  grid->setColumnMinimumWidth(1, kValueColumnWidth);
  int line = 0;
  for (const CameraInfoRow& row : kCameraInfoRows) {
    if (row.valueId == kSeparatorBefore) {
      auto* separator = new QFrame(cameraInfo_);
      separator->setObjectName(Id(kIdCameraInfoSeparator));
      separator->setFrameShape(QFrame::HLine);
      separator->setFrameShadow(QFrame::Sunken);
      grid->addWidget(separator, line++, 0, 1, 2);
    }
    auto* label = new QLabel(QString::fromLatin1(row.label), cameraInfo_);
    label->setObjectName(Id(row.labelId));
    label->setTextFormat(Qt::PlainText);
    auto* value = new QLabel(cameraInfo_);
    value->setObjectName(Id(row.valueId));
    value->setTextFormat(Qt::PlainText);
    cameraInfoValues_[row.valueId] = value;
    if (!row.shown) {
      label->hide();
      value->hide();
      continue;
    }
    grid->addWidget(label, line, 0);
    grid->addWidget(value, line, 1);
    ++line;
  }
  grid->setRowStretch(line, 1);
  const QSize hint = cameraInfo_->sizeHint();
  cameraInfo_->setGeometry(kCameraInfoX, kCameraInfoY, std::max(kCameraInfoWidth, hint.width()),
                           std::max(kCameraInfoHeight, hint.height()));
  // The parameter groups start below the box, however tall the font made it.
  groupArea_->move(kGroupAreaX, std::max(kGroupAreaY, cameraInfo_->geometry().bottom() + 5));
}

void LivePage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  groupArea_->resize(std::max(0, width() - groupArea_->x()),
                     std::max(0, height() - groupArea_->y()));
}

QSize LivePage::minimumSizeHint() const {
  // Everything placed on the page, the groups' contents included, plus the bottom button row.
  QRect used;
  for (QObject* child : children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget || widget->isHidden()) continue;
    if (widget == groupArea_) {
      used |= groupArea_->childrenRect().translated(groupArea_->pos());
    } else {
      used |= widget->geometry();
    }
  }
  const int bottomRow = kBottomRowY + QPushButton().sizeHint().height();
  return {used.right() + 1 + kPageMargin, std::max(used.bottom() + 1, bottomRow) + kPageMargin};
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
