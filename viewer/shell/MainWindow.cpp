// The main window: initialisation, tab switching, menu dispatch and the close sequence.
#include "viewer/shell/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <mutex>

#include "QEL_API.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/ImageArea.h"
#include "viewer/picture/DebugDialog.h"
#include "viewer/picture/LivePage.h"
#include "viewer/picture/PageContext.h"
#include "viewer/picture/PicturePage.h"
#include "viewer/resources/AppIcon.h"
#include "viewer/shell/DumpControls.h"
#include "viewer/shell/Ini.h"
#include "viewer/shell/Menu.h"
#include "viewer/shell/PageTable.h"
#include "viewer/shell/ScrollHost.h"
#include "viewer/shell/SimulatorMenu.h"

namespace shell {
namespace {

// Room between the content rectangle's edge and the tab control.
constexpr int kTabMarginX = 10;
constexpr int kTabMarginY = 9;
constexpr int kWideExtraWidth = 668;

}  // namespace

MainWindow::MainWindow(picture::PageContext& context, bool simulatorMenu, int simulatedHead)
    : context_(context) {
  base::ViewState& view = context.view;
  setObjectName(QStringLiteral("101"));
  setWindowTitle(QStringLiteral("QEL Viewer"));
  // The class icon: every window of the program carries it.
  QGuiApplication::setWindowIcon(resources::AppIcon());
  context.page = [this](int index) { return Page(index); };
  context.window = [this]() -> QWidget* { return this; };
  context.menuAction = [this](int id) { return MenuAction(id); };
  context.operations = [this]() -> picture::PageView* { return Picture(); };

  const ViewerIni ini = LoadViewerIni(QDir::currentPath().toStdString());
  view.windowMode = ini.windowMode;
  view.expertMode = ini.expertMode;

  view.zoomIndex = 0;
  for (auto& z : view.savedZoom) z = 0;

  BuildMainMenu(menuBar(), view.expertMode != 0, [this](int id) { Dispatch(id); });
  if (simulatorMenu) AddSimulatorMenu(menuBar(), simulatedHead);

  // The compact window opens with a client of the compact content size; the wide one is the same
  // window widened by 668 pixels. The content holds the pages of the window mode.
  const Extent compact = ContentExtent(0, {0, 0});
  const Extent client{compact.width + (view.windowMode != 0 ? kWideExtraWidth : 0), compact.height};
  const Extent content = ContentExtent(view.windowMode, client);
  tabs_ = new QTabWidget;
  tabs_->setObjectName(QString::number(base::kIdTabControl));
  tabs_->resize(content.width - kTabMarginX, content.height - kTabMarginY);
  scroller_ = new ScrollHost(content, tabs_, this);
  setCentralWidget(scroller_);
  resize(client.width, client.height + menuBar()->sizeHint().height());

  for (int index = 0; index < base::kPageCount; ++index) {
    picture::LivePage* page = CreatePage(index, context, tabs_);
    page->zoomChosen = [this, index](int entry) { ZoomChosen(index, entry); };
    page->sendCommand = [this](int id) { Dispatch(id); };
    tabs_->insertTab(index, page, QString::fromLatin1(PageTabText(index)));
    if (tabs_->currentIndex() == index) {
      shownPage_ = index;
      page->Activate();
    }
  }
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { TabChanged(index); });
  // The window opens showing the whole content: as wide as the content, and in both window modes
  // as high as the compact window, whose height the pages decide when their font needs more.
  FitContentToPages();
  const int pagesHeight = tabs_->minimumSizeHint().height() + kTabMarginY;
  resize(std::max(client.width, scroller_->ContentSize().width),
         std::max(client.height, pagesHeight) + menuBar()->sizeHint().height());

  // The Picture page shows or hides its expert-only controls itself when it is built, from
  // the ini file's expert mode read above. Media playback draws over its image area.
  context.hooks.playback->Init(this, Page(base::kPicturePage));

  for (int index = 0; index < base::kPageCount; ++index) {
    if (picture::LivePage* page = Page(index)) page->FollowHeadType();
  }
  {
    std::lock_guard<std::mutex> lock(view.viewGuard);
    for (int index = 0; index < base::kPageCount; ++index) {
      if (picture::LivePage* page = Page(index)) page->SelectZoom(view.zoomIndex.load());
    }
  }
  view.mainReady = true;
}

MainWindow::~MainWindow() {
  context_.view.mainReady = false;
  context_.page = nullptr;
  context_.window = nullptr;
  context_.menuAction = nullptr;
  context_.operations = nullptr;
}

picture::LivePage* MainWindow::Page(int index) const {
  return tabs_ != nullptr && index >= 0 && index < tabs_->count()
             ? static_cast<picture::LivePage*>(tabs_->widget(index))
             : nullptr;
}

picture::PicturePage* MainWindow::Picture() const {
  return static_cast<picture::PicturePage*>(Page(base::kPicturePage));
}

QAction* MainWindow::MenuAction(int id) const {
  return menuBar()->findChild<QAction*>(QString::number(id));
}

files::Result MainWindow::DumpControls(const QString& path) {
  // The pages are shown without being activated: the unit keeps its data format.
  auto showPage = [this](int index) {
    const QSignalBlocker quiet(tabs_);
    tabs_->setCurrentIndex(index);
  };
  const int shown = tabs_->currentIndex();
  std::vector<int> groups(base::kPageCount, 0);
  std::vector<DumpView> views;
  for (int index = 0; index < base::kPageCount; ++index) {
    picture::LivePage* page = Page(index);
    if (page == nullptr) continue;
    groups[index] = page->ShownGroup();
    views.push_back({page, [showPage, index] { showPage(index); }});
    const std::vector<QWidget*> selectable = page->SelectorGroups();
    for (int g = 0; g < static_cast<int>(selectable.size()); ++g) {
      views.push_back({selectable[g], [showPage, index, page, g] {
                         showPage(index);
                         page->ShowGroup(g);
                       }});
    }
  }
  const files::Result written = shell::DumpControls(*this, path, views);
  for (int index = 0; index < base::kPageCount; ++index) {
    if (picture::LivePage* page = Page(index)) page->ShowGroup(groups[index]);
  }
  showPage(shown);
  return written;
}

void MainWindow::FitContentToPages() {
  // The tab control holds the tab bar, its frame and the largest page's layout; the content
  // rectangle and its scroll bars grow with it, so every control can be scrolled to.
  const Extent content = scroller_->ContentSize();
  const QSize need = tabs_->minimumSizeHint();
  const int width = std::max(content.width - kTabMarginX, need.width());
  const int height = std::max(content.height - kTabMarginY, need.height());
  tabs_->resize(width, height);
  scroller_->SetContentSize({width + kTabMarginX, height + kTabMarginY});
}

void MainWindow::TabChanged(int index) {
  const base::Hooks& hooks = context_.hooks;
  if (picture::LivePage* old = Page(shownPage_)) {
    old->Deactivate();
    if (hooks.playback->Active()) hooks.playback->PlaceVideo();
  }
  shownPage_ = index;
  if (picture::LivePage* page = Page(index)) page->Activate();
}

void MainWindow::ZoomChosen(int fromPage, int entry) {
  base::ViewState& view = context_.view;
  {
    std::lock_guard<std::mutex> lock(view.viewGuard);
    // A choice made in a list that is about to be refilled for a new head type may be one the
    // new head does not offer (400 % for a 160K head): the refill selects the right entry.
    if (entry < 0 || entry >= base::ZoomChoices(view.cisType.load())) return;
    for (int index = 0; index < base::kPageCount; ++index) {
      if (index == fromPage) continue;
      if (picture::LivePage* page = Page(index)) page->SelectZoom(entry);
    }
    view.zoomIndex = entry;
    view.savedZoom[base::ZoomSlot(view.cisType.load())] = entry;
  }
  const base::Hooks& hooks = context_.hooks;
  if (hooks.playback->Active()) hooks.playback->PlaceVideo();
  for (int index = 0; index < base::kPageCount; ++index) {
    if (picture::LivePage* page = Page(index)) page->Image()->update();
  }
}

// The common refusal of the commands that need frames or parameter values.
bool MainWindow::CameraConnected() {
  int status = 0;
  QEL_GetStatus(&status);
  if (status & 1) return true;
  if (base::Operator* op = context_.op) {
    op->Message(this, QStringLiteral("Message"), QStringLiteral("No Connected Camera!"),
                base::PromptIcon::Warning);
  }
  return false;
}

void MainWindow::Dispatch(int id) {
  const base::Hooks& hooks = context_.hooks;
  switch (id) {
    case base::kIdTabControl:
      tabs_->setFocus();
      break;
    case base::kCmdVersion:
      ShowVersionBox();
      break;
    case base::kCmdExit:
      // Posted, like a close request from the window frame.
      QTimer::singleShot(0, this, &QWidget::close);
      break;
    case base::kCmdDebug:
      picture::OpenDebugDialog(this, context_.op);
      break;
    case base::kCmdBoundaryPixels:
      ToggleBoundaryPixels();
      break;
    case base::kCmdOpenMedia:
      hooks.playback->ChooseAndPlay();
      break;
    case base::kCmdPausePlay:
      hooks.playback->TogglePause();
      break;
    case base::kCmdPlayStop:
      hooks.playback->Stop();
      break;
    case base::kCmdVideoCapture:
      hooks.recording->StartOrStopCommand();
      break;
    case base::kCmdStillCapture:
      if (CameraConnected()) hooks.capture->StillCaptureCommand();
      break;
    case base::kCmdSaveCsv:
      if (CameraConnected()) hooks.calibration->SaveAsCsvCommand();
      break;
    case base::kCmdLoadSettings:
      if (CameraConnected()) hooks.capture->LoadSettingsFile();
      break;
    case base::kCmdSaveSettings:
      if (CameraConnected()) hooks.capture->SaveSettingsFile();
      break;
    case base::kCmdEepromLoad:
    case base::kCmdEepromSave:
    case base::kCmdEepromClear:
    case base::kCmdEepromLoadDefault:
    case base::kCmdEepromSaveDefault:
    case base::kCmdEepromClearDefault:
      hooks.commands->EepromCommand(id);
      break;
    default:
      break;
  }
}

void MainWindow::ShowVersionBox() {
  const auto& app = context_.view.appVersion;
  uint32_t api = 0;
  QEL_GetVersion(&api);
  const QString text =
      QString::asprintf("App Version %d.%d.%d.%d\n", app[0] & 0xFF, app[1] & 0xFF, app[2] & 0xFF,
                        app[3] & 0xFF) +
      QString::asprintf("API Version %d.%d.%d.%d\n", int(api >> 24 & 0xFF), int(api >> 16 & 0xFF),
                        int(api >> 8 & 0xFF), int(api & 0xFF));
  if (base::Operator* op = context_.op) {
    op->Message(this, QStringLiteral("info"), text, base::PromptIcon::Information);
  }
}

void MainWindow::ToggleBoundaryPixels() {
  base::ViewState& view = context_.view;
  const bool shown = !view.showBoundaryPixels.load();
  view.showBoundaryPixels = shown;
  if (QAction* action = MenuAction(base::kCmdBoundaryPixels)) action->setChecked(shown);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  // A second close request while the first one waits for the display thread adds nothing.
  if (closing_) {
    event->ignore();
    return;
  }
  closing_ = true;
  context_.hooks.recording->StopAndResetControls();
  context_.view.displayTarget = base::kNoPage;
  context_.live.display.Stop();
  closed_ = true;
  event->accept();
}

}  // namespace shell
