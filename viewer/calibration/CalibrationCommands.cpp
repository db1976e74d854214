// The Calibration page's tools on the shell's seams and the gamma buttons' dialogs.
#include "viewer/calibration/CalibrationCommands.h"

#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include "viewer/calibration/CalibrationPage.h"
#include "viewer/calibration/GammaTable.h"
#include "viewer/capture/ImageEncoding.h"
#include "viewer/live/Render.h"
#include "viewer/shell/GuiCall.h"
#include "viewer/shell/MainWindow.h"
#include "viewer/shell/Operator.h"
#include "viewer/shell/Shell.h"
#include "viewer/shell/ViewState.h"
#include "viewer/shell/WaitCursor.h"

namespace calibration {
namespace {

std::string FilePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// Runs a transfer under the wait cursor, then shows its message.
template <typename Run>
void Transfer(shell::Operator& op, QWidget* owner, Run run) {
  std::string message;
  {
    const shell::WaitCursor wait;
    message = run();
  }
  ShowInfo(op, owner, message);
}

// A dialog opens in the folder of the file chosen last, or in the current one.
QString FolderOf(const QString& path) {
  return path.isEmpty() ? QStringLiteral(".") : QFileInfo(path).absolutePath();
}

// The proposed CSV base name: head type, capture size, local date and time.
std::string ProposedCsvName(int cisType, bool showBoundaryPixels) {
  return capture::MakeCaptureFileName(cisType, live::CaptureSide(cisType, showBoundaryPixels)) +
         ".csv";
}

CalibrationPage* Page() {
  return dynamic_cast<CalibrationPage*>(shell::TheShell().pages[shell::kCalibrationPage].data());
}

}  // namespace

void ShowInfo(shell::Operator& op, QWidget* owner, const std::string& text) {
  op.Message(owner, QStringLiteral("info"), QString::fromStdString(text), shell::PromptIcon::None);
}

void GammaCommands::Upload(shell::Operator& op, QWidget* owner) {
  shell::FileRequest request;
  request.owner = owner;
  request.title = QStringLiteral("Open");
  request.directory = FolderOf(uploadPath_);
  const QString path = op.OpenFile(request);
  if (path.isEmpty()) return ShowInfo(op, owner, "Gamma upload cancel");
  uploadPath_ = path;
  Transfer(op, owner, [&] { return UploadGammaCsv(FilePath(path)); });
}

void GammaCommands::Download(shell::Operator& op, QWidget* owner) {
  shell::FileRequest request;
  request.owner = owner;
  request.title = QStringLiteral("Save As");
  request.directory = FolderOf(downloadPath_);
  request.proposedName = downloadPath_.isEmpty() ? QString() : QFileInfo(downloadPath_).fileName();
  const QString path = op.SaveFile(request);
  if (path.isEmpty()) return ShowInfo(op, owner, "Gamma download cancel");
  downloadPath_ = path;
  Transfer(op, owner, [&] { return DownloadGammaCsv(FilePath(path)); });
}

void GammaCommands::Save(shell::Operator& op, QWidget* owner) {
  Transfer(op, owner, &SaveGammaTablesToUnitEeprom);
}

void GammaCommands::Clear(shell::Operator& op, QWidget* owner) {
  Transfer(op, owner, &ClearGammaTables);
}

void GammaCommands::Forget() {
  uploadPath_.clear();
  downloadPath_.clear();
}

void CalibrationCommands::DrawDefectOverlay(uint8_t* display, int cisType, int zoom) {
  const shell::ViewState& view = shell::View();
  if (!view.showDefectOverlay.load()) return;
  const DefectTable table = defects_.Snapshot();
  live::DrawDefectOverlay(display, cisType, zoom, view.excludedArea.load(), table.data());
}

void CalibrationCommands::Take(const live::CheckedFrame& frame) {
  const shell::ViewState& view = shell::View();
  const std::optional<CsvRun::Report> report = csv_.Step(
      frame.data, frame.length, frame.cisType, view.showBoundaryPixels.load(), view.rawView.load());
  if (report) shell::PostToGui([this, r = *report] { ShowCsvStep(r); });
}

void CalibrationCommands::ShowCsvStep(const CsvRun::Report& report) {
  CalibrationPage* page = Page();
  if (page == nullptr || !csv_.Current(report.run)) return;
  page->ShowCsvProgress(QString::number(report.step.progress));
  if (!report.step.finished) return;
  page->SetCsvRunning(false);
  page->ShowCsvProgress(QString::fromLatin1(report.step.failed ? kCsvErrorText : kCsvCompleteText));
}

void CalibrationCommands::SaveAsCsvCommand() {
  shell::Shell& shell = shell::TheShell();
  if (shell.op == nullptr) return;
  const shell::ViewState& view = shell::View();
  shell::FileRequest request;
  request.owner = shell.mainWindow.data();
  request.title = QStringLiteral("Save File");
  request.filter = QStringLiteral("CSV File (*.csv)");
  request.defaultSuffix = QStringLiteral("csv");
  request.proposedName =
      QString::fromStdString(ProposedCsvName(view.cisType.load(), view.showBoundaryPixels.load()));
  const QString path = shell.op->SaveFile(request);
  if (path.isEmpty()) return;
  CalibrationPage* page = Page();
  csv_.Start(FilePath(path), page != nullptr ? page->FrameCount() : kMinFrames);
  if (page != nullptr) page->SetCsvRunning(true);
}

void CalibrationCommands::AbortCsvExport() {
  if (!csv_.Abort()) return;
  shell::Shell& shell = shell::TheShell();
  if (CalibrationPage* page = Page()) page->SetCsvRunning(false);
  if (shell.op != nullptr) {
    shell.op->Message(shell.pages[shell::kPicturePage].data(), QStringLiteral("info"),
                      QStringLiteral("CSV File Save Aborted."), shell::PromptIcon::Warning);
  }
}

void CalibrationCommands::Reset() {
  csv_.Abort();
  defects_.Reset(kDefectDark);
  gamma_.Forget();
}

CalibrationCommands& TheCalibrationCommands() {
  static CalibrationCommands commands;
  return commands;
}

void InstallCalibrationHooks() {
  CalibrationCommands& commands = TheCalibrationCommands();
  commands.Reset();
  shell::Hooks& hooks = shell::InstalledHooks();
  hooks.frames = &commands;
  hooks.calibration = &commands;
}

}  // namespace calibration
