// Message boxes and file dialogs shown with Qt, or written out when nobody watches.
#include <QFileDialog>
#include <QMessageBox>

#include "viewer/base/Operator.h"

namespace base {
namespace {

QMessageBox::Icon BoxIcon(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::Warning:
      return QMessageBox::Warning;
    case PromptIcon::Error:
      return QMessageBox::Critical;
    case PromptIcon::Question:
      return QMessageBox::Question;
    case PromptIcon::None:
      return QMessageBox::NoIcon;
    case PromptIcon::Information:
      break;
  }
  return QMessageBox::Information;
}

QString RunFileDialog(const FileRequest& request, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(request.owner, request.title, request.directory, request.filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.proposedName.isEmpty()) dialog.selectFile(request.proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

}  // namespace

void QtOperator::Message(QWidget* owner, const QString& caption, const QString& text,
                         PromptIcon icon) {
  QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, owner);
  box.exec();
}

bool QtOperator::Ask(QWidget* owner, const QString& caption, const QString& text, PromptIcon icon) {
  QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok | QMessageBox::Cancel, owner);
  return box.exec() == QMessageBox::Ok;
}

QString QtOperator::OpenFile(const FileRequest& request) {
  return RunFileDialog(request, QFileDialog::AcceptOpen);
}

QString QtOperator::SaveFile(const FileRequest& request) {
  return RunFileDialog(request, QFileDialog::AcceptSave);
}

void UnattendedOperator::Message(QWidget*, const QString& caption, const QString& text,
                                 PromptIcon) {
  QString line = text.trimmed();
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  std::fprintf(out_, "QEL_Viewer: %s: %s\n", qPrintable(caption), qPrintable(line));
  std::fflush(out_);
}

bool UnattendedOperator::Ask(QWidget* owner, const QString& caption, const QString& text,
                             PromptIcon icon) {
  Message(owner, caption, text, icon);
  return false;
}

}  // namespace base
