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
#include "viewer/live/ImageArea.h"
#include "viewer/picture/DebugDialog.h"
#include "viewer/resources/AppIcon.h"
#include "viewer/shell/DumpControls.h"
#include "viewer/shell/Hooks.h"
#include "viewer/shell/Ini.h"
#include "viewer/shell/LivePage.h"
#include "viewer/shell/Menu.h"
#include "viewer/shell/Operator.h"
#include "viewer/shell/PageTable.h"
#include "viewer/shell/ScrollHost.h"
#include "viewer/shell/Shell.h"
#include "viewer/shell/SimulatorMenu.h"
#include "viewer/shell/ViewState.h"

namespace shell {
namespace {

// Room between the content rectangle's edge and the tab control.
constexpr int kTabMarginX = 10;
constexpr int kTabMarginY = 9;
constexpr int kWideExtraWidth = 668;

}  // namespace

MainWindow::MainWindow(bool simulatorMenu, int simulatedHead) {
  Shell& shell = TheShell();
  ViewState& view = View();
  setObjectName(QStringLiteral("101"));
  setWindowTitle(QStringLiteral("QEL Viewer"));
  // The class icon: every window of the program carries it.
  QGuiApplication::setWindowIcon(resources::AppIcon());
  shell.mainWindow = this;

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
  tabs_->setObjectName(QString::number(kIdTabControl));
  tabs_->resize(content.width - kTabMarginX, content.height - kTabMarginY);
  scroller_ = new ScrollHost(content, tabs_, this);
  setCentralWidget(scroller_);
  resize(client.width, client.height + menuBar()->sizeHint().height());

  for (int index = 0; index < kPageCount; ++index) {
    LivePage* page = CreatePage(index, tabs_);
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
  InstalledHooks().playback->Init(this, Page(kPicturePage));

  for (int index = 0; index < kPageCount; ++index) {
    if (LivePage* page = Page(index)) page->FollowHeadType();
  }
  {
    std::lock_guard<std::mutex> lock(view.viewGuard);
    for (int index = 0; index < kPageCount; ++index) {
      if (LivePage* page = Page(index)) page->SelectZoom(view.zoomIndex.load());
    }
  }
  view.mainReady = true;
}

MainWindow::~MainWindow() {
  View().mainReady = false;
}

LivePage* MainWindow::Page(int index) const {
  return index >= 0 && index < tabs_->count() ? static_cast<LivePage*>(tabs_->widget(index))
                                              : nullptr;
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
  std::vector<int> groups(kPageCount, 0);
  std::vector<DumpView> views;
  for (int index = 0; index < kPageCount; ++index) {
    LivePage* page = Page(index);
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
  for (int index = 0; index < kPageCount; ++index) {
    if (LivePage* page = Page(index)) page->ShowGroup(groups[index]);
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
  const Hooks& hooks = InstalledHooks();
  if (LivePage* old = Page(shownPage_)) {
    old->Deactivate();
    if (hooks.playback->Active()) hooks.playback->PlaceVideo();
  }
  shownPage_ = index;
  if (LivePage* page = Page(index)) page->Activate();
}

void MainWindow::ZoomChosen(int fromPage, int entry) {
  ViewState& view = View();
  {
    std::lock_guard<std::mutex> lock(view.viewGuard);
    // A choice made in a list that is about to be refilled for a new head type may be one the
    // new head does not offer (400 % for a 160K head): the refill selects the right entry.
    if (entry < 0 || entry >= ZoomChoices(view.cisType.load())) return;
    for (int index = 0; index < kPageCount; ++index) {
      if (index == fromPage) continue;
      if (LivePage* page = Page(index)) page->SelectZoom(entry);
    }
    view.zoomIndex = entry;
    view.savedZoom[ZoomSlot(view.cisType.load())] = entry;
  }
  const Hooks& hooks = InstalledHooks();
  if (hooks.playback->Active()) hooks.playback->PlaceVideo();
  for (int index = 0; index < kPageCount; ++index) {
    if (LivePage* page = Page(index)) page->Image()->update();
  }
}

// The common refusal of the commands that need frames or parameter values.
bool MainWindow::CameraConnected() {
  int status = 0;
  QEL_GetStatus(&status);
  if (status & 1) return true;
  if (Operator* op = TheShell().op) {
    op->Message(this, QStringLiteral("Message"), QStringLiteral("No Connected Camera!"),
                PromptIcon::Warning);
  }
  return false;
}

void MainWindow::Dispatch(int id) {
  const Hooks& hooks = InstalledHooks();
  switch (id) {
    case kIdTabControl:
      tabs_->setFocus();
      break;
    case kCmdVersion:
      ShowVersionBox();
      break;
    case kCmdExit:
      // Posted, like a close request from the window frame.
      QTimer::singleShot(0, this, &QWidget::close);
      break;
    case kCmdDebug:
      picture::OpenDebugDialog(this);
      break;
    case kCmdBoundaryPixels:
      ToggleBoundaryPixels();
      break;
    case kCmdOpenMedia:
      hooks.playback->ChooseAndPlay();
      break;
    case kCmdPausePlay:
      hooks.playback->TogglePause();
      break;
    case kCmdPlayStop:
      hooks.playback->Stop();
      break;
    case kCmdVideoCapture:
      hooks.recording->StartOrStopCommand();
      break;
    case kCmdStillCapture:
      if (CameraConnected()) hooks.capture->StillCaptureCommand();
      break;
    case kCmdSaveCsv:
      if (CameraConnected()) hooks.calibration->SaveAsCsvCommand();
      break;
    case kCmdLoadSettings:
      if (CameraConnected()) hooks.capture->LoadSettingsFile();
      break;
    case kCmdSaveSettings:
      if (CameraConnected()) hooks.capture->SaveSettingsFile();
      break;
    case kCmdEepromLoad:
    case kCmdEepromSave:
    case kCmdEepromClear:
    case kCmdEepromLoadDefault:
    case kCmdEepromSaveDefault:
    case kCmdEepromClearDefault:
      hooks.commands->EepromCommand(id);
      break;
    default:
      break;
  }
}

void MainWindow::ShowVersionBox() {
  const auto& app = View().appVersion;
  uint32_t api = 0;
  QEL_GetVersion(&api);
  const QString text =
      QString::asprintf("App Version %d.%d.%d.%d\n", app[0] & 0xFF, app[1] & 0xFF, app[2] & 0xFF,
                        app[3] & 0xFF) +
      QString::asprintf("API Version %d.%d.%d.%d\n", int(api >> 24 & 0xFF), int(api >> 16 & 0xFF),
                        int(api >> 8 & 0xFF), int(api & 0xFF));
  if (Operator* op = TheShell().op) {
    op->Message(this, QStringLiteral("info"), text, PromptIcon::Information);
  }
}

void MainWindow::ToggleBoundaryPixels() {
  ViewState& view = View();
  const bool shown = !view.showBoundaryPixels.load();
  view.showBoundaryPixels = shown;
  if (QAction* action = MenuAction(kCmdBoundaryPixels)) action->setChecked(shown);
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
  InstalledHooks().recording->StopAndResetControls();
  View().displayTarget = kNoPage;
  TheShell().display.Stop();
  closed_ = true;
  event->accept();
}

}  // namespace shell
