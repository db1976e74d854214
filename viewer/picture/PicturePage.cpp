// The Picture page's widgets, built from the controls model, and the operations on them.
#include "viewer/picture/PicturePage.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "QEL_API.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/base/WaitCursor.h"
#include "viewer/live/ImageArea.h"
#include "viewer/picture/core/PageCommands.h"

namespace picture {
namespace {

using picture::Widget;

constexpr int kIdSerialEdit = 2001;
constexpr int kSerialMaxLength = 63;

// The group selector offers the groups by their titles.
QStringList GroupSelectorTexts(int cisType) {
  QStringList out;
  for (const Group& group : kGroups) out << picture::LabelText(group.title.For(cisType));
  return out;
}

// Where each group stands in the wide layout: gain in the first column over both rows, colour
// over misc in the second, image over CIS-EEPROM in the third.
struct Cell {
  int row, column, rowSpan;
};
constexpr Cell kWideCells[kGroupCount] = {{0, 0, 2}, {0, 1, 1}, {0, 2, 1}, {1, 1, 1}, {1, 2, 1}};

constexpr int kSliderRedGain = 8;
constexpr int kSliderBlueGain = 9;
constexpr int kSliderImageFineAdj = 22;

base::PromptIcon PromptIconOf(CommandIcon icon) {
  switch (icon) {
    case CommandIcon::Information:
      return base::PromptIcon::Information;
    case CommandIcon::Warning:
      return base::PromptIcon::Warning;
    case CommandIcon::None:
      break;
  }
  return base::PromptIcon::None;
}

}  // namespace

PicturePage::PicturePage(PageContext& context, QWidget* parent)
    : LivePage(base::kPicturePage, context.live.displayBitmap, parent), context_(context) {
  base::ViewState& view = context.view;
  wideLayout_ = view.windowMode != 0;
  expertMode_ = view.expertMode != 0;

  // The playback output lies over the image area; its file label replaces the frame-rate text.
  auto* videoFrame = new QWidget(this);
  videoFrame->setObjectName(QString::number(base::kIdVideoWindow));
  videoFrame->hide();
  Widgets()[base::kIdVideoWindow] = videoFrame;
  auto* fileLabel = new QLabel(this);
  fileLabel->setObjectName(QString::number(base::kIdFileLabel));
  fileLabel->setTextFormat(Qt::PlainText);
  fileLabel->hide();
  Widgets()[base::kIdFileLabel] = fileLabel;
  TopRow()->insertWidget(TopRow()->count() - 1, fileLabel);

  BuildBottomRow();
  BuildGroups();
  subscription_ = context_.parameters.Subscribe(
      Side::kPicture, [this](const ParameterNotice& notice) { Show(notice); });

  // Initialisation: texts and lists of a 40K head, defaults shown, nothing sent to the unit.
  SetTypeTexts(0);
  for (int j = 0; j < kListCount; ++j) FillList(j, 0);
  {
    const QSignalBlocker quiet(GroupSelector());
    GroupSelector()->clear();
    GroupSelector()->addItems(GroupSelectorTexts(0));
    GroupSelector()->setCurrentIndex(0);
  }
  for (int i = 0; i < kSliderCount; ++i) {
    auto* slider = Widget<QSlider>(Widgets(), SliderId(i));
    const QSignalBlocker quiet(slider);
    slider->setRange(kSliders[i].range.min, kSliders[i].range.max);
    slider->setPageStep(PageStep(kSliders[i].range));
    ShowSlider(i, kSliders[i].defaultValue);
  }
  for (int j = 0; j < kListCount; ++j) SelectListFromDevice(j, kLists[j].defaultValue);
  for (int i : {kSliderAlcLowerLimit, kSliderAlcParameter}) {
    picture::ShowSliderRow(Widgets(), i, SliderShown(i, 0, expertMode_));
  }
  if (QWidget* separator = Widgets()[kIdExpertSeparator]) separator->setVisible(expertMode_);
  // The parameter column keeps the room of the larger texts and rows of either head type.
  for (int cisType : {1, 0}) {
    ShowCisType(cisType);
    ReserveGroupRoom();
  }
  SwitchToCisType();
  BindCommands();

  view.displayTarget = base::kPicturePage;
  context_.live.display.Start();
  view.pictureReady = true;
}

PicturePage::~PicturePage() {
  context_.parameters.Unsubscribe(subscription_);
}

void PicturePage::BuildBottomRow() {
  QHBoxLayout* row = BottomRow();
  row->addWidget(ForwardingButton(3004, "Video Capture", base::kCmdVideoCapture));
  row->addWidget(ForwardingButton(3005, "Still Capture", base::kCmdStillCapture));
  auto* save = new QPushButton(QStringLiteral("Save"), this);  // in the template, never shown
  save->setObjectName(QStringLiteral("3006"));
  save->hide();
  Widgets()[3006] = save;
  row->addStretch(1);
  row->addWidget(ForwardingButton(base::kIdPausePlayButton, "Pause / Play", base::kCmdPausePlay));
  row->addWidget(ForwardingButton(base::kIdPlayStopButton, "Play Stop", base::kCmdPlayStop));
  auto* statusLabel = new QLabel(QStringLiteral("LIVE"), this);
  statusLabel->setObjectName(QString::number(base::kIdPlaybackStatus));
  statusLabel->setTextFormat(Qt::PlainText);
  statusLabel->setMinimumWidth(150);
  Widgets()[base::kIdPlaybackStatus] = statusLabel;
  row->addWidget(statusLabel);
  row->addStretch(2);
}

void PicturePage::BuildGroups() {
  picture::GroupSpec spec;
  spec.sliderLabel = [](int i) { return picture::LabelText(kSliders[i].label.For(0)); };
  spec.listLabel = [](int j) { return picture::LabelText(kLists[j].label.For(0)); };
  spec.listTexts = [](int j) { return picture::TextList(ListTexts(j, 0)); };
  spec.makeEdit = [](int id) -> QWidget* {
    auto* edit = new QLineEdit;
    if (id == kIdSerialEdit) edit->setMaxLength(kSerialMaxLength);
    return edit;
  };
  auto* grid = new QGridLayout(GroupArea());
  grid->setContentsMargins(0, 0, 0, 0);
  for (int g = 0; g < kGroupCount; ++g) {
    const Group& group = kGroups[g];
    groups_[g] = picture::BuildGroup(group.id, picture::LabelText(group.title.For(0)), group.items,
                                     spec, Widgets(), GroupArea());
    const Cell cell = wideLayout_ ? kWideCells[g] : Cell{0, 0, 1};
    grid->addWidget(groups_[g], cell.row, cell.column, cell.rowSpan, 1, Qt::AlignTop);
  }

  for (int i = 0; i < kSliderCount; ++i) {
    auto* slider = Widget<QSlider>(Widgets(), SliderId(i));
    connect(slider, &QSlider::valueChanged, this, [this, i](int v) { ApplySlider(i, v); });
  }
  for (int j = 0; j < kListCount; ++j) {
    auto* list = Widget<QComboBox>(Widgets(), ListId(j));
    connect(list, &QComboBox::activated, this, [this, j](int p) { ApplyList(j, p); });
  }
  connect(GroupSelector(), &QComboBox::activated, this, [this](int g) {
    if (picture::LivePage* calibration = Calibration()) {
      const QSignalBlocker quiet(calibration->GroupSelector());
      calibration->GroupSelector()->setCurrentIndex(g < calibration->GroupSelector()->count() ? g
                                                                                              : -1);
    }
    ShowGroup(g);
  });
}

void PicturePage::SetTypeTexts(int cisType) {
  for (const IdText& text : CisTypeTexts(cisType)) {
    const QString qt = picture::LabelText(text.text);
    if (auto* box = Widget<QGroupBox>(Widgets(), text.id)) {
      box->setTitle(qt);
    } else if (auto* label = Widget<QLabel>(Widgets(), text.id)) {
      label->setText(qt);
    }
  }
}

void PicturePage::FillList(int j, int cisType) {
  auto* list = Widget<QComboBox>(Widgets(), ListId(j));
  const QSignalBlocker quiet(list);
  list->clear();
  list->addItems(picture::TextList(ListTexts(j, cisType)));
  list->setCurrentIndex(0);
}

void PicturePage::Activate() {
  base::ViewState& view = context_.view;
  QEL_Set_DataFormat(0);  // processed colour frames
  view.displayTarget = base::kPicturePage;
  view.rawView = false;
  if (!wideLayout_) {
    const QSignalBlocker quiet(GroupSelector());
    GroupSelector()->setCurrentIndex(state_.currentGroup);
  }
  if (QAction* csv = context_.MenuAction(base::kCmdSaveCsv)) csv->setEnabled(false);
  // Raw data have stopped: a CSV run of the Calibration page cannot go on.
  context_.hooks.calibration->AbortCsvExport();
}

void PicturePage::HideLive() {
  Image()->hide();
}

void PicturePage::ShowLive() {
  Image()->show();
}

void PicturePage::SwitchToCisType() {
  ShowCisType(context_.view.cisType.load());
}

void PicturePage::ShowCisType(int cisType) {
  state_.cisType = cisType;
  SetTypeTexts(cisType);
  {
    const QSignalBlocker quiet(GroupSelector());
    GroupSelector()->clear();
    GroupSelector()->addItems(GroupSelectorTexts(cisType));
    GroupSelector()->setCurrentIndex(0);
  }
  FillZoomList(cisType);
  for (int j : {kListGainControl, kListDviImageSize}) FillList(j, cisType);
  picture::ShowSliderRow(Widgets(), kSliderExposure, SliderShown(kSliderExposure, cisType, true));
  picture::ShowListRow(Widgets(), kListVfpnCorr, ListShown(kListVfpnCorr, cisType));
  state_.currentGroup = 0;
  if (wideLayout_) {
    GroupSelector()->setEnabled(false);
    GroupSelector()->hide();
  }
  ShowGroup(0);
}

void PicturePage::ShowGroup(int g) {
  if (g >= 0 && g < kGroupCount) state_.currentGroup = g;
  for (int k = 0; k < kGroupCount; ++k) {
    groups_[k]->setVisible(wideLayout_ || k == state_.currentGroup);
  }
  update();
}

std::vector<QWidget*> PicturePage::SelectorGroups() const {
  if (wideLayout_) return {};
  return {groups_.begin(), groups_.end()};
}

picture::LivePage* PicturePage::Calibration() const {
  return context_.Page(base::kCalibrationPage);
}

void PicturePage::ShowSlider(int i, int v) {
  if (i < 0 || i >= kSliderCount) return;
  state_.sliders[i] = v;
  if (auto* slider = Widget<QSlider>(Widgets(), SliderId(i))) {
    const QSignalBlocker quiet(slider);
    slider->setValue(v);
  }
  if (auto* text = Widget<QLabel>(Widgets(), SliderValueId(i))) {
    text->setText(QString::fromStdString(SliderValueText(i, v)));
  }
}

void PicturePage::SetSlider(int i, int v) {
  ShowSlider(i, v);
  context_.parameters.WritePictureSlider(i, v, Origin::kUnit);
}

void PicturePage::SelectListPosition(int j, int position) {
  if (auto* list = Widget<QComboBox>(Widgets(), ListId(j))) {
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
  }
}

void PicturePage::SelectListFromDevice(int j, int d) {
  if (j < 0 || j >= kListCount) return;
  if (!state_.SelectListFromDevice(j, d)) return;
  const int position = state_.listPositions[j];
  SelectListPosition(j, position);
  context_.parameters.WritePictureList(j, position, Origin::kUnit);
}

void PicturePage::ApplySlider(int i, int v) {
  ShowSlider(i, v);
  SetDevice(kSliders[i].device, v);  // the result is not looked at; the next refresh shows
  context_.parameters.WritePictureSlider(i, v, Origin::kPage);
}

void PicturePage::ApplyList(int j, int position) {
  state_.listPositions[j] = position;
  SetDevice(kLists[j].device, ListToDevice(j, position, state_.cisType));
  context_.parameters.WritePictureList(j, position, Origin::kPage);
  EnablingUpdate();
}

void PicturePage::Show(const ParameterNotice& notice) {
  using Kind = ParameterNotice::Kind;
  switch (notice.kind) {
    case Kind::kSlider:
      ShowSlider(notice.index, notice.value);
      break;
    case Kind::kList:
      // The Calibration twin was chosen: the modes may have changed.
      if (notice.index < 0 || notice.index >= kListCount) break;
      state_.listPositions[notice.index] = notice.value;
      SelectListPosition(notice.index, notice.value);
      EnablingUpdate();
      break;
    case Kind::kCameraInfo: {
      // Texts from the unit are bytes, one character each, as the serial number is written.
      const std::string text = context_.parameters.CameraInfo(notice.index);
      LivePage::SetCameraInfo(notice.index,
                              QString::fromLatin1(text.data(), qsizetype(text.size())));
      break;
    }
    case Kind::kCameraInfoRows:
      LivePage::SetCameraInfoRowsEnabled(notice.value != 0);
      break;
    case Kind::kCisEepromControls:
      for (int id : kCisEepromControlIds) {
        if (QWidget* widget = Widgets()[id]) widget->setEnabled(notice.value != 0);
      }
      break;
    case Kind::kEnabling:
    case Kind::kCalibrationDefaults:
      break;
  }
}

void PicturePage::EnablingUpdate() {
  const Enabling enabling = ComputeEnabling(state_.Modes());
  for (int i = 0; i < kSliderCount; ++i) {
    if (enabling.sliders[i]) picture::EnableSliderRow(Widgets(), i, *enabling.sliders[i]);
  }
  for (int j = 0; j < kListCount; ++j) {
    if (enabling.lists[j]) picture::EnableListRow(Widgets(), j, *enabling.lists[j]);
  }
  context_.parameters.WriteEnabling(enabling);
}

void PicturePage::SetCameraInfo(int valueId, const std::string& text) {
  context_.parameters.WriteCameraInfo(valueId, text);
}

void PicturePage::SetCameraInfoRowsEnabled(bool enabled) {
  context_.parameters.WriteCameraInfoRows(enabled);
}

void PicturePage::SetWindowTitle(const std::string& title) {
  if (QWidget* window = context_.Window()) window->setWindowTitle(QString::fromStdString(title));
}

void PicturePage::SetSerialControlsEnabled(bool enabled) {
  for (int id : kSerialControlIds) {
    if (QWidget* widget = Widgets()[id]) widget->setEnabled(enabled);
  }
}

void PicturePage::SetCisEepromControlsEnabled(bool enabled) {
  context_.parameters.WriteCisEepromControls(enabled);
}

void PicturePage::ApplyApplicationDefaults() {
  for (const DefaultStep& step : ApplicationDefaults(state_.cisType)) {
    if (step.target == Target::kSlider) {
      // The head EEPROM sliders mirror only what the Camera Info refresh shows.
      ShowSlider(step.index, step.value);
      context_.parameters.WritePictureSlider(step.index, step.value, Origin::kPage);
    } else {
      SelectListFromDevice(step.index, step.value);
    }
    SetDevice(step.set, step.sent);
  }
}

void PicturePage::ResetCalibrationDefaults(bool all) {
  context_.parameters.ResetCalibrationDefaults(all);
}

void PicturePage::BindCommands() {
  const QString caption = QString::fromLatin1(kCommandCaption);
  auto show = [this, caption](const CommandMessage& message) {
    if (base::Operator* op = context_.op) {
      op->Message(this, caption, QString::fromLatin1(message.text), PromptIconOf(message.icon));
    }
  };
  CommandPrompts prompts;
  prompts.show = show;
  prompts.ask = [this, caption](const CommandMessage& question) {
    base::Operator* op = context_.op;
    return op &&
           op->Ask(this, caption, QString::fromLatin1(question.text), PromptIconOf(question.icon));
  };
  auto onClick = [this](int id, auto handler) {
    if (auto* button = Widget<QPushButton>(Widgets(), id)) {
      connect(button, &QPushButton::clicked, this, handler);
    }
  };

  // The unit keeps the picture and the monitor's refreshes coming while it is polled; operator
  // input waits until the command has ended.
  const std::pair<int, PolledCommand> polled[] = {
      {kIdAwbExec, PolledCommand::WhiteBalance},
      {kIdFpnExec, PolledCommand::FpnAcquisition},
      {kIdManualDetectExec, PolledCommand::ManualDetect}};
  for (auto [id, command] : polled) {
    onClick(id, [this, show, command = command] {
      PollResult result;
      {
        const base::WaitCursor busy;
        result = RunPolledCommand(command, SteadyTicks, [] {
          QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
        if (result.redGain) SetSlider(kSliderRedGain, *result.redGain);
        if (result.blueGain) SetSlider(kSliderBlueGain, *result.blueGain);
      }
      if (result.message) show({result.message, CommandIcon::Warning});
    });
  }

  const std::pair<int, HeadRecord> saves[] = {{kIdSaveUseCount, HeadRecord::UseCount},
                                              {kIdSaveUseCountLimit, HeadRecord::UseCountLimit},
                                              {kIdSaveGains, HeadRecord::WhiteBalanceGains},
                                              {kIdSaveImageFineAdj, HeadRecord::ImageFineAdj}};
  for (auto [id, record] : saves) {
    onClick(id, [this, show, record = record] {
      const auto& sliders = state_.sliders;
      const ShownRecords shown{sliders[kSliderCisUsageCount], sliders[kSliderCisUpperLimit],
                               sliders[kSliderRedGain], sliders[kSliderBlueGain],
                               sliders[kSliderImageFineAdj]};
      show({SaveHeadRecord(record, shown), CommandIcon::None});
    });
  }

  auto* serial = Widget<QLineEdit>(Widgets(), kIdSerialEdit);
  for (auto [id, initialise] :
       {std::pair{kIdWriteSerialNo, false}, std::pair{kIdWriteSerialNoInit, true}}) {
    onClick(id, [serial, prompts, initialise = initialise] {
      WriteSerialNo(serial ? serial->text().toLatin1().toStdString() : std::string(), initialise,
                    prompts);
    });
  }
  onClick(kIdReadSerialNo, [serial, prompts] {
    const std::optional<std::string> text = ReadSerialNo(prompts);
    if (text && serial) serial->setText(QString::fromLatin1(text->data(), qsizetype(text->size())));
  });
}

}  // namespace picture
