// The operator seen by the viewer: every message box and file dialog goes through this interface.
#pragma once

#include <QString>
#include <cstdio>

class QWidget;

namespace base {

// None: a box without an icon.
enum class PromptIcon { Information, Warning, Error, Question, None };

// One file dialog. `filter` is a Qt name filter ("BMP File (*.bmp)"); an empty one offers every
// file.
struct FileRequest {
  QWidget* owner = nullptr;
  QString title;
  QString filter;
  QString defaultSuffix;
  QString directory = QStringLiteral(".");
  QString proposedName;
};

class Operator {
 public:
  virtual ~Operator() = default;
  // A message with an OK button.
  virtual void Message(QWidget* owner, const QString& caption, const QString& text,
                       PromptIcon icon) = 0;
  // OK and Cancel; true for OK.
  virtual bool Ask(QWidget* owner, const QString& caption, const QString& text,
                   PromptIcon icon) = 0;
  // The chosen path, or empty when the operator cancelled. OpenFile asks for an existing file.
  virtual QString OpenFile(const FileRequest& request) = 0;
  virtual QString SaveFile(const FileRequest& request) = 0;
};

// The program's operator: Qt message boxes and file dialogs.
class QtOperator : public Operator {
 public:
  void Message(QWidget* owner, const QString& caption, const QString& text,
               PromptIcon icon) override;
  bool Ask(QWidget* owner, const QString& caption, const QString& text, PromptIcon icon) override;
  QString OpenFile(const FileRequest& request) override;
  QString SaveFile(const FileRequest& request) override;
};

// The operator of a run nobody watches (a screenshot or a controls dump, then the program ends):
// nothing waits for a click. Each message or question is written to `out` as one line (caption,
// text) and a question is answered Cancel; file dialogs are cancelled.
class UnattendedOperator : public Operator {
 public:
  explicit UnattendedOperator(std::FILE* out = stderr) : out_(out) {}
  void Message(QWidget* owner, const QString& caption, const QString& text,
               PromptIcon icon) override;
  bool Ask(QWidget* owner, const QString& caption, const QString& text, PromptIcon icon) override;
  QString OpenFile(const FileRequest&) override { return {}; }
  QString SaveFile(const FileRequest&) override { return {}; }

 private:
  std::FILE* out_;
};

}  // namespace base
