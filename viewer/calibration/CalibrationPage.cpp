// The Calibration page's widgets, built from its controls model, and the operations on them.
#include "viewer/calibration/CalibrationPage.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "QEL_API.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/calibration/CalibrationCommands.h"

namespace calibration {
namespace {

using picture::Widget;

constexpr int kIdDisplayCheck = 7029;
constexpr int kIdFramesLabel = 9608;
constexpr int kIdFramesEdit = 9606;
constexpr int kIdFramesUpDown = 9605;
constexpr int kIdProgress = 9609;
constexpr int kIdSaveAsCsv = 9603;
constexpr int kIdDefectList = 2001;

// The selector's items name groups 9501, 9502 and 9504; the other two groups are never shown.
int GroupIndexOf(GroupId id) {
  for (int g = 0; g < kGroupCount; ++g) {
    if (kGroups[g].id == id) return g;
  }
  return 0;
}

// Wide layout: gain over gamma in the first column, defect pixels in the second.
struct Cell {
  int row, column, rowSpan;
};
Cell WideCell(GroupId id) {
  switch (id) {
    case GroupId::kGamma:
      return {1, 0, 1};
    case GroupId::kDefect:
      return {0, 1, 2};
    default:
      return {0, 0, 1};
  }
}

}  // namespace

CalibrationPage::CalibrationPage(picture::PageContext& context, QWidget* parent)
    : picture::LivePage(base::kCalibrationPage, context.live.displayBitmap, parent),
      context_(context) {
  wideLayout_ = context.view.windowMode != 0;
  BuildBottomRow();
  BuildGroups();
  subscription_ = context_.parameters.Subscribe(
      picture::Side::kCalibration,
      [this](const picture::ParameterNotice& notice) { Show(notice); });
  for (int k = 0; k < kTrackbarCount; ++k) {
    auto* slider = Widget<QSlider>(Widgets(), TrackbarId(k));
    const QSignalBlocker quiet(slider);
    const picture::Range range = TrackbarRange(k, 0);
    slider->setRange(range.min, range.max);
    slider->setPageStep(TrackbarPageStep(k, 0));
    SetTrackbar(k, kTrackbars[k].defaultValue);
  }
  for (int k = 0; k < kComboCount; ++k) SelectCombo(k, 0);
  if (auto* display = Widget<QCheckBox>(Widgets(), kIdDisplayCheck)) {
    display->setChecked(context_.view.showDefectOverlay.load());
  }
  BindTools();
  // The parameter column keeps the room of the larger texts and rows of a 160K head.
  SetTypeTexts(1);
  picture::ShowSliderRow(Widgets(), kTrackbarExposure, TrackbarShown(kTrackbarExposure, 1));
  ShowGroup(0);
  ReserveGroupRoom();
  RefreshForHeadType();
  ReserveGroupRoom();
  context_.view.calibrationReady = true;
}

CalibrationPage::~CalibrationPage() {
  context_.parameters.Unsubscribe(subscription_);
}

void CalibrationPage::BuildBottomRow() {
  QHBoxLayout* row = BottomRow();
  row->addWidget(ForwardingButton(3004, "Video Capture", base::kCmdVideoCapture));
  row->addWidget(ForwardingButton(3005, "Still Capture", base::kCmdStillCapture));
  auto* save = new QPushButton(QStringLiteral("Save"), this);  // in the template, never shown
  save->setObjectName(QStringLiteral("3006"));
  save->hide();
  Widgets()[3006] = save;
  row->addSpacing(20);
  row->addWidget(ForwardingButton(kIdSaveAsCsv, "Save as CSV", base::kCmdSaveCsv));

  auto* label = new QLabel(QStringLiteral("num of frames :"), this);
  label->setObjectName(QString::number(kIdFramesLabel));
  Widgets()[kIdFramesLabel] = label;
  row->addWidget(label);
  framesEdit_ = new QLineEdit(QStringLiteral("1"), this);
  framesEdit_->setObjectName(QString::number(kIdFramesEdit));
  framesEdit_->setMaxLength(16);
  framesEdit_->setFixedWidth(framesEdit_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) +
                             12);
  Widgets()[kIdFramesEdit] = framesEdit_;
  row->addWidget(framesEdit_);
  // The field is read whenever it changes and when it loses the focus, and kept within 1..100.
  connect(framesEdit_, &QLineEdit::textEdited, this,
          [this](const QString& text) { SetFrameCount(FrameCountFromText(text.toStdString())); });
  connect(framesEdit_, &QLineEdit::editingFinished, this,
          [this] { SetFrameCount(FrameCountFromText(framesEdit_->text().toStdString())); });

  auto* upDown = new QWidget(this);
  upDown->setObjectName(QString::number(kIdFramesUpDown));
  Widgets()[kIdFramesUpDown] = upDown;
  auto* arrows = new QVBoxLayout(upDown);
  arrows->setContentsMargins(0, 0, 0, 0);
  arrows->setSpacing(0);
  for (int delta : {+1, -1}) {
    auto* arrow = new QToolButton(upDown);
    arrow->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
    arrow->setAutoRepeat(true);
    arrow->setFixedSize(18, 12);
    connect(arrow, &QToolButton::clicked, this,
            [this, delta] { SetFrameCount(StepFrameCount(frames_, delta)); });
    arrows->addWidget(arrow);
  }
  row->addWidget(upDown);

  auto* progress = new QLabel(this);
  progress->setObjectName(QString::number(kIdProgress));
  progress->setTextFormat(Qt::PlainText);
  progress->setMinimumWidth(180);
  Widgets()[kIdProgress] = progress;
  row->addWidget(progress);
  row->addStretch(1);
}

void CalibrationPage::SetFrameCount(int frames) {
  frames_ = std::clamp(frames, kMinFrames, kMaxFrames);
  const QString text = QString::number(frames_);
  if (framesEdit_->text() != text) framesEdit_->setText(text);
}

void CalibrationPage::BuildGroups() {
  picture::GroupSpec spec;
  spec.sliderLabel = [](int k) { return picture::LabelText(kTrackbars[k].label.For(0)); };
  spec.listLabel = [](int k) { return picture::LabelText(kCombos[k].label); };
  spec.listTexts = [](int k) { return picture::TextList(kCombos[k].texts); };
  spec.makeEdit = [](int) -> QWidget* {
    auto* list = new QPlainTextEdit;
    list->setReadOnly(true);
    list->setMinimumHeight(90);
    return list;
  };
  spec.makeButton = [](int id, const QString& text) -> QWidget* {
    if (id == kIdDisplayCheck) return new QCheckBox(text);
    return nullptr;
  };
  auto* grid = new QGridLayout(GroupArea());
  grid->setContentsMargins(0, 0, 0, 0);
  for (int g = 0; g < kGroupCount; ++g) {
    const Group& group = kGroups[g];
    groups_[g] =
        picture::BuildGroup(static_cast<int>(group.id), picture::LabelText(group.title.For(0)),
                            group.items, spec, Widgets(), GroupArea());
    const Cell cell = wideLayout_ ? WideCell(group.id) : Cell{0, 0, 1};
    grid->addWidget(groups_[g], cell.row, cell.column, cell.rowSpan, 1, Qt::AlignTop);
  }

  for (int k = 0; k < kTrackbarCount; ++k) {
    auto* slider = Widget<QSlider>(Widgets(), TrackbarId(k));
    connect(slider, &QSlider::valueChanged, this, [this, k](int v) { ApplyTrackbar(k, v); });
  }
  for (int k = 0; k < kComboCount; ++k) {
    auto* combo = Widget<QComboBox>(Widgets(), ComboId(k));
    connect(combo, &QComboBox::activated, this, [this, k](int p) { ApplyCombo(k, p); });
  }
  connect(GroupSelector(), &QComboBox::activated, this, [this](int g) { ShowGroup(g); });
  if (auto* display = Widget<QCheckBox>(Widgets(), kIdDisplayCheck)) {
    connect(display, &QCheckBox::toggled, this,
            [this](bool on) { context_.view.showDefectOverlay = on; });
  }
}

void CalibrationPage::SetTypeTexts(int cisType) {
  groups_[GroupIndexOf(GroupId::kGain)]->setTitle(
      picture::LabelText(kGroups[GroupIndexOf(GroupId::kGain)].title.For(cisType)));
  for (int k : {kTrackbarGain, kTrackbarTarget}) {
    if (auto* label = Widget<QLabel>(Widgets(), TrackbarLabelId(k))) {
      label->setText(picture::LabelText(kTrackbars[k].label.For(cisType)));
    }
  }
}

void CalibrationPage::Activate() {
  base::ViewState& view = context_.view;
  QEL_Set_DataFormat(1);  // raw sensor data
  view.rawView = true;
  view.displayTarget = base::kCalibrationPage;
  if (!wideLayout_) {
    const QSignalBlocker quiet(GroupSelector());
    GroupSelector()->setCurrentIndex(selectedGroup_);
  }
  if (QAction* csv = context_.MenuAction(base::kCmdSaveCsv)) {
    csv->setEnabled(!context_.hooks.calibration->CsvExportActive());
  }
  if (auto* progress = Widget<QLabel>(Widgets(), kIdProgress)) progress->clear();
}

void CalibrationPage::RefreshForHeadType() {
  const int cisType = context_.view.cisType.load();
  SetTypeTexts(cisType);
  {
    const QSignalBlocker quiet(GroupSelector());
    GroupSelector()->clear();
    GroupSelector()->addItems(picture::TextList(GroupSelectorTexts(cisType)));
    GroupSelector()->setCurrentIndex(0);
  }
  FillZoomList(cisType);
  picture::ShowSliderRow(Widgets(), kTrackbarExposure, TrackbarShown(kTrackbarExposure, cisType));
  if (auto* slider = Widget<QSlider>(Widgets(), TrackbarId(kTrackbarExcludedArea))) {
    const QSignalBlocker quiet(slider);
    const picture::Range range = TrackbarRange(kTrackbarExcludedArea, cisType);
    slider->setRange(range.min, range.max);
    slider->setPageStep(TrackbarPageStep(kTrackbarExcludedArea, cisType));
  }
  SetTrackbar(kTrackbarExcludedArea, 0);
  context_.view.excludedArea = 0;
  ShowDefectOutcome({{}, TheCalibrationCommands().Defects().Reset(combos_[kComboDefectType])});
  if (wideLayout_) {
    GroupSelector()->setEnabled(false);
    GroupSelector()->hide();
  }
  ShowGroup(0);
}

void CalibrationPage::ShowGroup(int g) {
  if (g >= 0 && g < static_cast<int>(kSelectorGroups.size())) selectedGroup_ = g;
  const int shown = GroupIndexOf(static_cast<GroupId>(kSelectorGroups[selectedGroup_]));
  for (int k = 0; k < kGroupCount; ++k) {
    groups_[k]->setVisible(kGroups[k].shown && (wideLayout_ || k == shown));
  }
  update();
}

std::vector<QWidget*> CalibrationPage::SelectorGroups() const {
  std::vector<QWidget*> out;
  if (wideLayout_) return out;
  for (int id : kSelectorGroups) out.push_back(groups_[GroupIndexOf(static_cast<GroupId>(id))]);
  return out;
}

void CalibrationPage::SetTrackbar(int k, int v) {
  trackbars_[k] = v;
  if (auto* slider = Widget<QSlider>(Widgets(), TrackbarId(k))) {
    const QSignalBlocker quiet(slider);
    slider->setValue(v);
  }
  if (auto* text = Widget<QLabel>(Widgets(), TrackbarValueId(k))) {
    text->setText(QString::fromStdString(TrackbarValueText(k, v)));
  }
}

void CalibrationPage::SelectCombo(int k, int position) {
  combos_[k] = position;
  if (auto* combo = Widget<QComboBox>(Widgets(), ComboId(k))) {
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(position >= 0 && position < combo->count() ? position : -1);
  }
  if (k == kComboFpnMode) SetCisEepromControlsEnabled(context_.parameters.CisEepromControls());
}

void CalibrationPage::ApplyTrackbar(int k, int v) {
  SetTrackbar(k, v);
  picture::SetDevice(kTrackbars[k].device, v);  // the result is not looked at
  if (k == kTrackbarExcludedArea) context_.view.excludedArea = v;
  context_.parameters.WriteCalibrationTrackbar(k, v);
}

void CalibrationPage::ApplyCombo(int k, int position) {
  SelectCombo(k, position);
  picture::SetDevice(kCombos[k].device, position);
  context_.parameters.WriteCalibrationCombo(k, position);
}

void CalibrationPage::Show(const picture::ParameterNotice& notice) {
  using Kind = picture::ParameterNotice::Kind;
  switch (notice.kind) {
    case Kind::kSlider:
      if (notice.index >= 0 && notice.index < kTrackbarCount)
        SetTrackbar(notice.index, notice.value);
      break;
    case Kind::kList:
      if (notice.index >= 0 && notice.index < kComboCount) SelectCombo(notice.index, notice.value);
      break;
    case Kind::kEnabling: {
      const auto rows = Enabling(context_.parameters.Enabling());
      for (int k = 0; k < kTrackbarCount; ++k) {
        if (rows[k]) picture::EnableSliderRow(Widgets(), k, *rows[k]);
      }
      break;
    }
    case Kind::kCameraInfo: {
      const std::string text = context_.parameters.CameraInfo(notice.index);
      SetCameraInfo(notice.index, QString::fromLatin1(text.data(), qsizetype(text.size())));
      break;
    }
    case Kind::kCameraInfoRows:
      SetCameraInfoRowsEnabled(notice.value != 0);
      break;
    case Kind::kCisEepromControls:
      SetCisEepromControlsEnabled(notice.value != 0);
      break;
    case Kind::kCalibrationDefaults:
      ResetCalibrationDefaults(notice.value != 0);
      break;
  }
}

void CalibrationPage::SetCisEepromControlsEnabled(bool enabled) {
  for (int id : kCisEepromControlIds) {
    if (QWidget* widget = Widgets()[id]) widget->setEnabled(enabled);
  }
  if (QWidget* fpnSave = Widgets()[kIdFpnSave]) {
    fpnSave->setEnabled(FpnSaveEnabled(enabled, combos_[kComboFpnMode]));
  }
}

void CalibrationPage::ResetCalibrationDefaults(bool all) {
  for (const TrackbarReset& reset : DefaultsReset(all)) {
    SetTrackbar(reset.index, reset.value);
    picture::SetDevice(reset.set, reset.value);
    if (reset.index == kTrackbarExcludedArea) context_.view.excludedArea = reset.value;
  }
  for (int k = 0; k < kComboCount; ++k) SelectCombo(k, 0);
  for (const picture::DeviceFunction& call : kComboResetCalls) picture::SetDevice(call, 0);
}

// Tools binding: the gamma and defect pixel buttons run their tools with the page's settings and
// show the outcome; the CSV run's controls follow the run.

void CalibrationPage::BindTools() {
  auto bind = [this](int id, std::function<void()> run) {
    if (auto* button = Widget<QPushButton>(Widgets(), id)) {
      connect(button, &QPushButton::clicked, this, std::move(run));
    }
  };
  using GammaButton = void (GammaCommands::*)(base::Operator&, QWidget*);
  const std::pair<int, GammaButton> gammaButtons[] = {{3007, &GammaCommands::Upload},
                                                      {3008, &GammaCommands::Download},
                                                      {3009, &GammaCommands::Save},
                                                      {3010, &GammaCommands::Clear}};
  for (const auto& [id, run] : gammaButtons) {
    bind(id, [this, run] {
      if (base::Operator* op = context_.op) {
        (TheCalibrationCommands().Gamma().*run)(*op, this);
      }
    });
  }

  bind(3013, [this] {
    ShowDefectOutcome(
        TheCalibrationCommands().Defects().Detect(CurrentScan(), context_.view.cisType.load()));
  });
  using DefectButton = DefectTool::Outcome (*)(DefectTool&, int type);
  const std::pair<int, DefectButton> defectButtons[] = {
      {3014, [](DefectTool& tool, int type) { return tool.Upload(type); }},
      {3015, [](DefectTool& tool, int type) { return tool.Download(type); }},
      {3016, [](DefectTool& tool, int type) { return tool.Save(type); }},
      {3017, [](DefectTool& tool, int type) { return tool.Clear(type); }}};
  for (const auto& [id, run] : defectButtons) {
    bind(id, [this, run] {
      ShowDefectOutcome(run(TheCalibrationCommands().Defects(), combos_[kComboDefectType]));
    });
  }
}

DefectScan CalibrationPage::CurrentScan() const {
  return {trackbars_[kTrackbarThreshold], combos_[kComboDefectType],
          trackbars_[kTrackbarExcludedArea]};
}

void CalibrationPage::ShowDefectOutcome(const DefectTool::Outcome& outcome) {
  if (outcome.list) {
    if (auto* list = Widget<QPlainTextEdit>(Widgets(), kIdDefectList)) {
      list->setPlainText(QString::fromStdString(*outcome.list));
    }
  }
  base::Operator* op = context_.op;
  if (op == nullptr) return;
  for (const std::string& message : outcome.messages) ShowInfo(*op, this, message);
}

void CalibrationPage::SetCsvRunning(bool running) {
  for (int id : {kIdSaveAsCsv, kIdFramesEdit, kIdFramesUpDown}) {
    if (QWidget* widget = Widgets()[id]) widget->setEnabled(!running);
  }
  if (QAction* csv = context_.MenuAction(base::kCmdSaveCsv)) {
    csv->setEnabled(!running && context_.view.displayTarget.load() == base::kCalibrationPage);
  }
}

void CalibrationPage::ShowCsvProgress(const QString& text) {
  if (auto* progress = Widget<QLabel>(Widgets(), kIdProgress)) progress->setText(text);
}

}  // namespace calibration
