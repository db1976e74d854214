// Still capture and the settings file commands, and the installation of the capture hooks.
#include "viewer/capture/CaptureCommands.h"

#include <QFile>

#include "viewer/capture/ImageEncoding.h"
#include "viewer/capture/SettingsFile.h"
#include "viewer/live/Render.h"
#include "viewer/shell/GuiCall.h"
#include "viewer/shell/LivePage.h"
#include "viewer/shell/MainWindow.h"
#include "viewer/shell/Operator.h"
#include "viewer/shell/Shell.h"
#include "viewer/shell/ViewState.h"

namespace capture {
namespace {

using shell::PromptIcon;

QString HeadType() {
  return QString::fromLatin1(picture::HeadTypeText(shell::View().cisType.load()));
}

QWidget* ShownPage() {
  const int shown = shell::View().displayTarget.load();
  return shown >= 0 && shown < shell::kPageCount ? shell::TheShell().pages[shown] : nullptr;
}

void ShowMessage(QWidget* owner, const QString& text, PromptIcon icon) {
  if (shell::Operator* op = shell::TheShell().op) {
    op->Message(owner, QStringLiteral("Message"), text, icon);
  }
}

std::string FilePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// The settings file dialogs, owned by the main window.
shell::FileRequest SettingsFileRequest(const QString& title) {
  shell::FileRequest request;
  request.owner = shell::TheShell().mainWindow;
  request.title = title;
  request.filter = QStringLiteral("QEL Setting Data (*.qel)");
  request.defaultSuffix = QStringLiteral("qel");
  return request;
}

}  // namespace

void StillRequest::Request(std::string path) {
  std::lock_guard<std::mutex> lock(mutex_);
  path_ = std::move(path);
  state_ = State::Requested;
}

bool StillRequest::Take(std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (state_) {
    case State::None:
      return false;
    case State::Requested:
      state_ = State::Armed;
      return false;
    case State::Armed:
      break;
  }
  path = std::move(path_);
  state_ = State::None;
  return true;
}

bool StillRequest::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_ != State::None;
}

void CaptureCommands::StillCaptureCommand() {
  shell::Operator* op = shell::TheShell().op;
  if (op == nullptr) return;
  const shell::ViewState& view = shell::View();
  const int cisType = view.cisType.load();
  const int side = live::CaptureSide(cisType, view.showBoundaryPixels.load());
  shell::FileRequest request;
  request.owner = ShownPage();
  request.title = QStringLiteral("Save File");
  request.filter = QStringLiteral("BMP File (*.bmp)");
  request.defaultSuffix = QStringLiteral("bmp");
  request.proposedName = QString::fromStdString(MakeCaptureFileName(cisType, side) + ".bmp");
  const QString path = op->SaveFile(request);
  if (!path.isEmpty()) still_.Request(FilePath(path));
}

void CaptureCommands::Take(const live::CheckedFrame& frame) {
  std::string path;
  if (!still_.Take(path)) return;
  const shell::ViewState& view = shell::View();
  if (SaveStill(frame.data, frame.cisType, view.rawView.load(), view.showBoundaryPixels.load(),
                path))
    return;
  shell::PostToGui([path = QFile::decodeName(path.c_str())] {
    ShowMessage(ShownPage(), QStringLiteral("Still Capture : Write Error!\n") + path,
                PromptIcon::Warning);
  });
}

void CaptureCommands::SaveSettingsFile() {
  shell::Shell& shell = shell::TheShell();
  if (shell.op == nullptr) return;
  shell::FileRequest request = SettingsFileRequest(QStringLiteral("Save File"));
  request.proposedName =
      QString::fromStdString(MakeCaptureFileName(shell::View().cisType.load(), 0) + ".qel");
  const QString path = shell.op->SaveFile(request);
  if (path.isEmpty()) return;
  if (capture::SaveSettingsFile(FilePath(path)) == 0) {
    ShowMessage(shell.mainWindow, QStringLiteral("Save Parameter[%1] : Complete.").arg(HeadType()),
                PromptIcon::Information);
  } else {
    ShowMessage(shell.mainWindow, QStringLiteral("Save Parameter[%1] : Error!").arg(HeadType()),
                PromptIcon::Warning);
  }
}

void CaptureCommands::LoadSettingsFile() {
  shell::Shell& shell = shell::TheShell();
  if (shell.op == nullptr) return;
  const QString path = shell.op->OpenFile(SettingsFileRequest(QStringLiteral("Open File")));
  if (path.isEmpty()) return;
  std::string fault;
  const SettingsLoad loaded =
      capture::LoadSettings(FilePath(path), shell::View().cisType.load(), &fault);
  // Values sent are on the unit even when a setter failed: the pages show what it holds now.
  if (loaded == SettingsLoad::kLoaded || loaded == SettingsLoad::kSetterFailed) {
    shell::InstalledHooks().refresh->FullRefresh();
  }
  if (loaded != SettingsLoad::kLoaded) {
    QString text = QStringLiteral("Load Parameter[%1] : Error!").arg(HeadType());
    if (!fault.empty()) text += QStringLiteral("\n") + QString::fromStdString(fault);
    ShowMessage(shell.mainWindow, text, PromptIcon::Warning);
    return;
  }
  ShowMessage(shell.mainWindow, QStringLiteral("Load Parameter[%1] : Complete.").arg(HeadType()),
              PromptIcon::Information);
}

CaptureCommands& TheCaptureCommands() {
  static CaptureCommands commands;
  return commands;
}

VideoCapture& TheVideoCapture() {
  static VideoCapture video;
  return video;
}

void InstallCaptureHooks() {
  shell::Hooks& hooks = shell::InstalledHooks();
  hooks.capture = &TheCaptureCommands();
  hooks.recording = &TheVideoCapture();
}

}  // namespace capture
