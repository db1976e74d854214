// The controls both tab pages share and their placement.
#include "viewer/picture/LivePage.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>

#include "viewer/base/Ids.h"
#include "viewer/live/ImageArea.h"

namespace picture {
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
constexpr int kSeparatorBeforeLabel = 9007;  // the firmware version row

// The box is at least as large as on the page layout; a larger font makes it grow.
constexpr int kCameraInfoWidth = 330;
constexpr int kCameraInfoHeight = 240;
constexpr int kValueColumnWidth = 170;
constexpr int kFrameRateWidth = 200;
constexpr int kPageMargin = 8;
constexpr int kColumnGap = 10;

QString Id(int id) {
  return QString::number(id);
}

}  // namespace

QStringList ZoomEntries(int cisType) {
  QStringList entries{QStringLiteral("100%"), QStringLiteral("200%")};
  if (cisType == 0) entries << QStringLiteral("400%");
  return entries;
}

LivePage::LivePage(int index, const live::DisplayBitmap& bitmap, QWidget* parent)
    : QWidget(parent),
      index_(index),
      imageArea_(new live::ImageArea(this, bitmap)),
      frameRate_(new QLabel(this)),
      zoomList_(new QComboBox(this)),
      groupSelector_(new QComboBox(this)),
      groupArea_(new QWidget(this)),
      topRow_(new QHBoxLayout),
      bottomRow_(new QHBoxLayout) {
  widgets_[base::kIdImageArea] = imageArea_;

  frameRate_->setObjectName(Id(base::kIdFrameRateText));
  frameRate_->setTextFormat(Qt::PlainText);
  frameRate_->setMinimumWidth(kFrameRateWidth);
  widgets_[base::kIdFrameRateText] = frameRate_;

  zoomList_->setObjectName(Id(base::kIdZoomList));
  zoomList_->setFocusPolicy(Qt::StrongFocus);
  widgets_[base::kIdZoomList] = zoomList_;
  FillZoomList(0);
  // Only a confirmed choice counts, not a selection made by the program.
  connect(zoomList_, &QComboBox::activated, this, [this](int entry) {
    if (zoomChosen) zoomChosen(entry);
  });

  groupSelector_->setObjectName(Id(base::kIdGroupSelector));
  groupSelector_->setFocusPolicy(Qt::StrongFocus);
  // Refilled for each head type; the longest name is shown whole.
  groupSelector_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  widgets_[base::kIdGroupSelector] = groupSelector_;
  groupArea_->setObjectName(QStringLiteral("groupArea"));

  topRow_->addWidget(ForwardingButton(3001, "Default", base::kCmdEepromLoadDefault));
  topRow_->addWidget(ForwardingButton(3002, "Data Write", base::kCmdEepromSave));
  topRow_->addWidget(ForwardingButton(3003, "Data Read", base::kCmdEepromLoad));
  topRow_->addStretch(1);
  topRow_->addWidget(frameRate_);
  topRow_->addWidget(zoomList_);

  auto* left = new QVBoxLayout;
  left->addLayout(topRow_);
  left->addWidget(imageArea_);
  left->addLayout(bottomRow_);
  left->addStretch(1);

  BuildCameraInfo();
  auto* right = new QVBoxLayout;
  right->addWidget(cameraInfo_, 0, Qt::AlignLeft);
  right->addWidget(groupSelector_, 0, Qt::AlignLeft);
  right->addWidget(groupArea_);
  right->addStretch(1);

  auto* page = new QHBoxLayout(this);
  page->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
  page->setSpacing(kColumnGap);
  page->addLayout(left);
  page->addLayout(right);
  page->addStretch(1);
}

QPushButton* LivePage::ForwardingButton(int id, const char* text, int command) {
  auto* button = new QPushButton(QString::fromLatin1(text), this);
  button->setObjectName(Id(id));
  widgets_[id] = button;
  connect(button, &QPushButton::clicked, this, [this, command] {
    if (sendCommand) sendCommand(command);
  });
  return button;
}

void LivePage::BuildCameraInfo() {
  cameraInfo_ = new QGroupBox(QStringLiteral("Camera Info"), this);
  cameraInfo_->setObjectName(Id(base::kIdCameraInfoBox));
  widgets_[base::kIdCameraInfoBox] = cameraInfo_;
  // Rows follow the font's metrics, so no text is cut with a larger application font.
  auto* grid = new QGridLayout(cameraInfo_);
  grid->setContentsMargins(15, grid->contentsMargins().top(), 8, 8);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  grid->setColumnMinimumWidth(1, kValueColumnWidth);
  int line = 0;
  for (const CameraInfoRow& row : kCameraInfoRows) {
    if (row.labelId == kSeparatorBeforeLabel) {
      auto* separator = new QFrame(cameraInfo_);
      separator->setObjectName(Id(base::kIdCameraInfoSeparator));
      separator->setFrameShape(QFrame::HLine);
      separator->setFrameShadow(QFrame::Sunken);
      widgets_[base::kIdCameraInfoSeparator] = separator;
      grid->addWidget(separator, line++, 0, 1, 2);
    }
    auto* label = new QLabel(QString::fromLatin1(row.label), cameraInfo_);
    label->setObjectName(Id(row.labelId));
    label->setTextFormat(Qt::PlainText);
    auto* value = new QLabel(cameraInfo_);
    value->setObjectName(Id(row.valueId));
    value->setTextFormat(Qt::PlainText);
    widgets_[row.labelId] = label;
    widgets_[row.valueId] = value;
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
  // At least as large as on the page layout, larger where the font needs it.
  const QSize need = cameraInfo_->minimumSizeHint();
  cameraInfo_->setMinimumSize(std::max(kCameraInfoWidth, need.width()),
                              std::max(kCameraInfoHeight, need.height()));
}

void LivePage::ReserveGroupRoom() {
  QSize room = groupArea_->minimumSize().expandedTo(groupArea_->sizeHint());
  for (const QWidget* group : SelectorGroups()) room = room.expandedTo(group->sizeHint());
  groupArea_->setMinimumSize(room);
}

void LivePage::SetCameraInfoRowsEnabled(bool enabled) {
  for (int id : {9002, 9003, 9004, 9005, 9006, 9009, 9010, 9011}) {
    for (int which : {id, id + 100}) {
      const auto it = widgets_.find(which);
      if (it != widgets_.end()) it->second->setEnabled(enabled);
    }
  }
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
  for (int id : base::kCameraInfoValueIds) SetCameraInfo(id, QString());
}

}  // namespace picture
