// An operator for tests: records every prompt and dialog and answers from a script.
#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "viewer/base/Operator.h"

namespace testing_support {

class ScriptedOperator : public base::Operator {
 public:
  enum class Kind { Message, Ask, OpenFile, SaveFile };

  struct Call {
    Kind kind;
    QString caption;  // the title for file dialogs
    QString text;
    base::PromptIcon icon = base::PromptIcon::Information;
    base::FileRequest request;
  };

  std::vector<Call> calls;
  // Answers to Ask (true = OK), then to the file dialogs (empty = cancelled), in order. When a
  // script runs out, the operator cancels.
  std::deque<bool> answers;
  std::deque<QString> files;

  void Message(QWidget*, const QString& caption, const QString& text,
               base::PromptIcon icon) override {
    calls.push_back({Kind::Message, caption, text, icon, {}});
  }

  bool Ask(QWidget*, const QString& caption, const QString& text, base::PromptIcon icon) override {
    calls.push_back({Kind::Ask, caption, text, icon, {}});
    return Next(answers, false);
  }

  QString OpenFile(const base::FileRequest& request) override {
    calls.push_back({Kind::OpenFile, request.title, {}, base::PromptIcon::Information, request});
    return Next(files, QString());
  }

  QString SaveFile(const base::FileRequest& request) override {
    calls.push_back({Kind::SaveFile, request.title, {}, base::PromptIcon::Information, request});
    return Next(files, QString());
  }

 private:
  template <typename T>
  static T Next(std::deque<T>& script, T none) {
    if (script.empty()) return none;
    T value = script.front();
    script.pop_front();
    return value;
  }
};

}  // namespace testing_support
