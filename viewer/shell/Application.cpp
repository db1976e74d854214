// Process start-up and shutdown in their fixed orders.
#include "viewer/shell/Application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "viewer/base/GuiCall.h"
#include "viewer/base/ViewState.h"
#include "viewer/calibration/CalibrationCommands.h"
#include "viewer/capture/CaptureCommands.h"
#include "viewer/live/ImageArea.h"
#include "viewer/live/core/image/Render.h"
#include "viewer/picture/LivePage.h"
#include "viewer/playback/Player.h"
#include "viewer/shell/DumpControls.h"

namespace shell {
namespace {

// Frames that must have been shown before a screenshot counts as a live picture, and the time
// after which the frame-rate text carries a full period.
constexpr uint64_t kScreenshotFrames = 10;
constexpr int kScreenshotSettleMs = 1500;
constexpr int kScreenshotTimeoutMs = 5000;

}  // namespace

Options ParseOptions(const QStringList& arguments) {
  Options options;
  // Options that take a file, as "--name FILE" or "--name=FILE".
  const struct {
    QLatin1String name;
    QString Options::*file;
  } fileOptions[] = {
      {QLatin1String("--screenshot"), &Options::screenshot},
      {QLatin1String("--simulate-state"), &Options::simulateState},
      {QLatin1String("--play"), &Options::play},
      {QLatin1String("--dump-controls"), &Options::dumpControls},
  };
  for (int i = 1; i < arguments.size() && options.error.isEmpty(); ++i) {
    const QString& arg = arguments[i];
    bool taken = false;
    for (const auto& option : fileOptions) {
      if (arg == option.name) {
        if (i + 1 < arguments.size()) options.*option.file = arguments[++i];
      } else if (arg.startsWith(option.name + QLatin1Char('='))) {
        options.*option.file = arg.mid(option.name.size() + 1);
      } else {
        continue;
      }
      taken = true;
      if ((options.*option.file).isEmpty()) {
        options.error = QStringLiteral("%1 needs a file name").arg(option.name);
      }
      break;
    }
    if (taken) continue;
    if (arg == QLatin1String("--simulate")) {
      options.simulate = true;
    } else if (arg.startsWith(QLatin1String("--simulate="))) {
      const QString head = arg.mid(11).toLower();
      options.simulate = true;
      if (head == QLatin1String("160k")) {
        options.simulatedHead = 1;
      } else if (head == QLatin1String("40k")) {
        options.simulatedHead = 0;
      } else {
        options.error = QStringLiteral("unknown head in %1 (use 40k or 160k)").arg(arg);
      }
    } else {
      options.error = QStringLiteral("unknown argument %1").arg(arg);
    }
  }
  // Keeping the simulated unit's state implies simulating it.
  if (!options.simulateState.isEmpty()) options.simulate = true;
  return options;
}

Application::Application(base::Operator& op) : op_(op) {}

Application::~Application() {
  ShutDown();
}

void Application::StartUp(const Options& options) {
  if (started_) return;
  started_ = true;
  base::InstallGuiQueue();
  base::ResetViewState(view_);
  context_.op = &op_;
  view_.appVersion = {QEL_VIEWER_VERSION_MAJOR, QEL_VIEWER_VERSION_MINOR, QEL_VIEWER_VERSION_BUILD,
                      QEL_VIEWER_VERSION_REVISION};
  // The notice text is rendered once here, on the GUI thread, not by the display thread.
  live::PrepareLimitNotice();

  // A failed allocation only means no recording.
  live_.captureBitmap.Allocate();

  if (options.simulate) {
    QELSIM_Enable(1);
    QELSIM_SetHead(options.simulatedHead);
    // Checked by the program's entry before it gets here; a file that turned bad since only
    // means a fresh unit.
    if (!options.simulateState.isEmpty()) {
      QELSIM_SetStateFile(options.simulateState.toLocal8Bit().constData());
    }
  }
  QEL_Init();  // the library keeps connecting by itself; nothing to check

  // Installed before the threads that read the hooks start; the main window's initialisation
  // hands the player its menu and video page.
  player_ = std::make_unique<playback::Player>(op_, context_);
  InstallHooks();

  monitor_.Start();
  live_.displayBitmap.Create();

  window_ = std::make_unique<MainWindow>(context_, options.simulate, options.simulatedHead);
  window_->show();
}

void Application::InstallHooks() {
  calibration::CalibrationCommands& calibrationTools = calibration::TheCalibrationCommands();
  calibrationTools.Reset();
  calibrationTools.Attach(context_);
  capture::CaptureCommands& captureCommands = capture::TheCaptureCommands();
  captureCommands.Attach(context_);
  capture::VideoCapture& video = capture::TheVideoCapture();
  video.Attach(context_);

  hooks_ = base::DefaultHooks();
  hooks_.refresh = &program_.Refresh();
  hooks_.commands = &program_.Commands();
  hooks_.playback = player_.get();
  hooks_.recording = &video;
  hooks_.frames = &calibrationTools;
  hooks_.calibration = &calibrationTools;
  hooks_.capture = &captureCommands;

  // The consumers of the checked frames, in the order they take each one.
  live::FrameSinks& sinks = live_.display.Sinks();
  sinks.Clear();
  sinks.Add(recorderFeed_);
  sinks.Add(captureCommands);
  sinks.Add(calibrationTools);

  // The live view finds the pages' image areas and frame-rate texts through the main window.
  live_.imageArea = [this](int page) -> live::ImageArea* {
    picture::LivePage* p = context_.Page(page);
    return p != nullptr ? p->Image() : nullptr;
  };
  live_.frameRateText = [this](int page) -> QLabel* {
    picture::LivePage* p = context_.Page(page);
    return p != nullptr ? p->FrameRateText() : nullptr;
  };
}

void Application::ShutDown() {
  if (!started_) return;
  started_ = false;
  if (window_ && !window_->Closed()) window_->close();
  live_.display.Stop();
  live_.displayBitmap.Destroy();
  monitor_.Stop();
  QEL_Term();
  live_.captureBitmap.Free();
  player_->Stop();
  // The pages go last: until the monitor has ended it may still address them.
  window_.reset();
  hooks_.playback = base::DefaultHooks().playback;
  player_.reset();
  context_.op = nullptr;
}

int Application::Run(const Options& options) {
  StartUp(options);
  // As if chosen with "Open File and Play", once the event loop runs.
  const QString play = options.play;
  if (!play.isEmpty()) {
    QTimer::singleShot(0, player_.get(),
                       [this, play] { player_->StartPlayback(play, QFileInfo(play).fileName()); });
  }
  const bool once = !options.screenshot.isEmpty() || !options.dumpControls.isEmpty();
  const int result = once ? SaveAndExit(options) : QApplication::exec();
  ShutDown();
  return result;
}

int Application::SaveAndExit(const Options& options) {
  const bool screenshot = !options.screenshot.isEmpty();
  const bool dump = !options.dumpControls.isEmpty();
  const bool played = !options.play.isEmpty();
  QElapsedTimer clock;
  clock.start();
  // A live picture with a frame-rate text that carries a full period, or the first played frame.
  auto showsPicture = [&] {
    if (played) return player_->FramesShown() > 0;
    return live_.display.FramesDisplayed() >= kScreenshotFrames &&
           clock.elapsed() >= kScreenshotSettleMs;
  };
  auto valuesShown = [this] { return hooks_.refresh->FullRefreshShown(); };
  // The controls show the unit's values.
  auto ready = [&] { return (!screenshot || showsPicture()) && (!dump || valuesShown()); };
  // The event loop runs (and sleeps between events) until everything asked for is ready, or
  // until the time-out.
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (ready()) {
      loop.quit();
    } else if (clock.elapsed() >= kScreenshotTimeoutMs) {
      loop.quit();
      // Nobody answers a message box here (a file that would not play): it is dismissed.
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    }
  });
  poll.start(50);
  loop.exec();

  int result = 0;
  auto fail = [&result](int code, const QString& message) {
    std::fprintf(stderr, "QEL_Viewer: %s\n", qPrintable(message));
    if (result == 0) result = code;
  };
  const QString late = QStringLiteral("%1 written without %2, none within %3 ms");
  if (dump) {
    if (const files::Result written = window_->DumpControls(options.dumpControls); !written) {
      fail(1, QStringLiteral("cannot write %1: %2")
                  .arg(options.dumpControls, QString::fromStdString(written.Reason())));
    } else if (!valuesShown()) {
      fail(2, late.arg(options.dumpControls, QStringLiteral("the unit's values"))
                  .arg(kScreenshotTimeoutMs));
    }
  }
  if (screenshot) {
    if (const files::Result written = SaveScreenshot(*window_, options.screenshot); !written) {
      fail(1, QStringLiteral("cannot write %1: %2")
                  .arg(options.screenshot, QString::fromStdString(written.Reason())));
    } else if (!showsPicture()) {
      fail(2, late.arg(options.screenshot, played ? QStringLiteral("the played picture")
                                                  : QStringLiteral("live frames"))
                  .arg(kScreenshotTimeoutMs));
    }
  }
  window_->close();
  return result;
}

}  // namespace shell
