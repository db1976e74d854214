// Still capture and the settings file commands, and the installation of the capture hooks.
#include "viewer/capture/CaptureCommands.h"

#include <QFile>

#include "viewer/base/GuiCall.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/capture/core/ImageEncoding.h"
#include "viewer/capture/core/SettingsFile.h"
#include "viewer/live/core/image/Render.h"
#include "viewer/picture/LivePage.h"

namespace capture {
namespace {

using base::PromptIcon;

QString HeadType(const picture::PageContext& context) {
  return QString::fromLatin1(picture::HeadTypeText(context.view.cisType.load()));
}

QWidget* ShownPage(const picture::PageContext& context) {
  return context.Page(context.view.displayTarget.load());
}

void ShowMessage(const picture::PageContext& context, QWidget* owner, const QString& text,
                 PromptIcon icon) {
  if (base::Operator* op = context.op) op->Message(owner, QStringLiteral("Message"), text, icon);
}

std::string FilePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// The settings file dialogs, owned by the main window.
base::FileRequest SettingsFileRequest(const picture::PageContext& context, const QString& title) {
  base::FileRequest request;
  request.owner = context.Window();
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
  base::Operator* op = context_->op;
  if (op == nullptr) return;
  const base::ViewState& view = context_->view;
  const int cisType = view.cisType.load();
  const int side = live::CaptureSide(cisType, view.showBoundaryPixels.load());
  base::FileRequest request;
  request.owner = ShownPage(*context_);
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
  const base::ViewState& view = context_->view;
  if (SaveStill(frame.data, frame.cisType, view.rawView.load(), view.showBoundaryPixels.load(),
                path))
    return;
  base::PostToGui([this, path = QFile::decodeName(path.c_str())] {
    ShowMessage(*context_, ShownPage(*context_),
                QStringLiteral("Still Capture : Write Error!\n") + path, PromptIcon::Warning);
  });
}

void CaptureCommands::SaveSettingsFile() {
  const picture::PageContext& context = *context_;
  if (context.op == nullptr) return;
  base::FileRequest request = SettingsFileRequest(context, QStringLiteral("Save File"));
  request.proposedName =
      QString::fromStdString(MakeCaptureFileName(context.view.cisType.load(), 0) + ".qel");
  const QString path = context.op->SaveFile(request);
  if (path.isEmpty()) return;
  if (capture::SaveSettingsFile(FilePath(path)) == 0) {
    ShowMessage(context, context.Window(),
                QStringLiteral("Save Parameter[%1] : Complete.").arg(HeadType(context)),
                PromptIcon::Information);
  } else {
    ShowMessage(context, context.Window(),
                QStringLiteral("Save Parameter[%1] : Error!").arg(HeadType(context)),
                PromptIcon::Warning);
  }
}

void CaptureCommands::LoadSettingsFile() {
  const picture::PageContext& context = *context_;
  if (context.op == nullptr) return;
  const QString path =
      context.op->OpenFile(SettingsFileRequest(context, QStringLiteral("Open File")));
  if (path.isEmpty()) return;
  std::string fault;
  const SettingsLoad loaded =
      capture::LoadSettings(FilePath(path), context.view.cisType.load(), &fault);
  // Values sent are on the unit even when a setter failed: the pages show what it holds now.
  if (loaded == SettingsLoad::kLoaded || loaded == SettingsLoad::kSetterFailed) {
    context.hooks.refresh->FullRefresh();
  }
  if (loaded != SettingsLoad::kLoaded) {
    QString text = QStringLiteral("Load Parameter[%1] : Error!").arg(HeadType(context));
    if (!fault.empty()) text += QStringLiteral("\n") + QString::fromStdString(fault);
    ShowMessage(context, context.Window(), text, PromptIcon::Warning);
    return;
  }
  ShowMessage(context, context.Window(),
              QStringLiteral("Load Parameter[%1] : Complete.").arg(HeadType(context)),
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

}  // namespace capture
