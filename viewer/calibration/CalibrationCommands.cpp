// The Calibration page's tools on the shell's seams and the gamma buttons' dialogs.
#include "viewer/calibration/CalibrationCommands.h"

#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include "viewer/base/GuiCall.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/base/WaitCursor.h"
#include "viewer/calibration/CalibrationPage.h"
#include "viewer/calibration/core/GammaTable.h"
#include "viewer/capture/core/ImageEncoding.h"
#include "viewer/live/core/image/Render.h"

namespace calibration {
namespace {

std::string FilePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// Runs a transfer under the wait cursor, then shows its message.
template <typename Run>
void Transfer(base::Operator& op, QWidget* owner, Run run) {
  std::string message;
  {
    const base::WaitCursor wait;
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

}  // namespace

void ShowInfo(base::Operator& op, QWidget* owner, const std::string& text) {
  op.Message(owner, QStringLiteral("info"), QString::fromStdString(text), base::PromptIcon::None);
}

void GammaCommands::Upload(base::Operator& op, QWidget* owner) {
  base::FileRequest request;
  request.owner = owner;
  request.title = QStringLiteral("Open");
  request.directory = FolderOf(uploadPath_);
  const QString path = op.OpenFile(request);
  if (path.isEmpty()) return ShowInfo(op, owner, "Gamma upload cancel");
  uploadPath_ = path;
  Transfer(op, owner, [&] { return UploadGammaCsv(FilePath(path)); });
}

void GammaCommands::Download(base::Operator& op, QWidget* owner) {
  base::FileRequest request;
  request.owner = owner;
  request.title = QStringLiteral("Save As");
  request.directory = FolderOf(downloadPath_);
  request.proposedName = downloadPath_.isEmpty() ? QString() : QFileInfo(downloadPath_).fileName();
  const QString path = op.SaveFile(request);
  if (path.isEmpty()) return ShowInfo(op, owner, "Gamma download cancel");
  downloadPath_ = path;
  Transfer(op, owner, [&] { return DownloadGammaCsv(FilePath(path)); });
}

void GammaCommands::Save(base::Operator& op, QWidget* owner) {
  Transfer(op, owner, &SaveGammaTablesToUnitEeprom);
}

void GammaCommands::Clear(base::Operator& op, QWidget* owner) {
  Transfer(op, owner, &ClearGammaTables);
}

void GammaCommands::Forget() {
  uploadPath_.clear();
  downloadPath_.clear();
}

CalibrationPage* CalibrationCommands::Page() const {
  // The page of this index is the Calibration page.
  return static_cast<CalibrationPage*>(context_->Page(base::kCalibrationPage));
}

void CalibrationCommands::DrawDefectOverlay(uint8_t* display, int cisType, int zoom) {
  const base::ViewState& view = context_->view;
  if (!view.showDefectOverlay.load()) return;
  const DefectTable table = defects_.Snapshot();
  live::DrawDefectOverlay(display, cisType, zoom, view.excludedArea.load(), table.data());
}

void CalibrationCommands::Take(const live::CheckedFrame& frame) {
  const base::ViewState& view = context_->view;
  const std::optional<CsvRun::Report> report = csv_.Step(
      frame.data, frame.length, frame.cisType, view.showBoundaryPixels.load(), view.rawView.load());
  if (report) base::PostToGui([this, r = *report] { ShowCsvStep(r); });
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
  base::Operator* op = context_->op;
  if (op == nullptr) return;
  const base::ViewState& view = context_->view;
  base::FileRequest request;
  request.owner = context_->Window();
  request.title = QStringLiteral("Save File");
  request.filter = QStringLiteral("CSV File (*.csv)");
  request.defaultSuffix = QStringLiteral("csv");
  request.proposedName =
      QString::fromStdString(ProposedCsvName(view.cisType.load(), view.showBoundaryPixels.load()));
  const QString path = op->SaveFile(request);
  if (path.isEmpty()) return;
  CalibrationPage* page = Page();
  csv_.Start(FilePath(path), page != nullptr ? page->FrameCount() : kMinFrames);
  if (page != nullptr) page->SetCsvRunning(true);
}

void CalibrationCommands::AbortCsvExport() {
  if (!csv_.Abort()) return;
  if (CalibrationPage* page = Page()) page->SetCsvRunning(false);
  if (base::Operator* op = context_->op) {
    op->Message(context_->Page(base::kPicturePage), QStringLiteral("info"),
                QStringLiteral("CSV File Save Aborted."), base::PromptIcon::Warning);
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

}  // namespace calibration
