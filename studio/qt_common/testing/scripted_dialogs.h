// A dialog seam for tests: answers from a queue and records every text it is shown.
#pragma once

#include <QDialog>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio::testing {

struct ShownMessage {
  MessageIcon icon;
  QString caption;
  QString text;
  QString details;  // application errors only
};

class ScriptedDialogs : public StudioDialogs {
 public:
  std::deque<QString> fileAnswers;  // a null QString cancels the dialog
  std::deque<bool> yesNoAnswers;
  std::deque<QString> folderAnswers;  // a null QString cancels the dialog
  std::deque<int> choiceAnswers;      // the button pressed; none left closes the box (-1)
  std::vector<QStringList> choiceButtons;
  std::deque<int> filterAnswers;  // the filter the user leaves selected, for dialogs that ask
  std::vector<FileDialogRequest> fileRequests;
  std::vector<ShownMessage> messages;
  std::vector<ShownMessage> questions;
  std::vector<ShownMessage> applicationErrors;
  // Answers for RunDialog in turn, each given the dialog to read or choose in; none left rejects.
  std::deque<std::function<int(QDialog&)>> dialogAnswers;
  QStringList dialogsRun;  // the object name of each dialog run

  std::optional<QString> OpenFile(const FileDialogRequest& request) override { return Answer(request); }
  std::optional<QString> SaveFile(const FileDialogRequest& request) override { return Answer(request); }
  bool AskYesNo(const QString& caption, const QString& text) override {
    questions.push_back({MessageIcon::None, caption, text, {}});
    if (yesNoAnswers.empty()) return false;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
  }
  std::optional<QString> ChooseFolder(const QString& title, const QString&) override {
    questions.push_back({MessageIcon::None, QString(), title, {}});
    if (folderAnswers.empty() || folderAnswers.front().isNull()) {
      if (!folderAnswers.empty()) folderAnswers.pop_front();
      return std::nullopt;
    }
    const QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
  }
  int Choose(const QString& caption, const QString& text, const QStringList& buttons) override {
    questions.push_back({MessageIcon::None, caption, text, {}});
    choiceButtons.push_back(buttons);
    if (choiceAnswers.empty()) return -1;
    const int answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
  }
  void ShowMessage(MessageIcon icon, const QString& caption, const QString& text) override {
    messages.push_back({icon, caption, text, {}});
  }
  void ShowApplicationError(const QString& caption, const QString& message, const QString& details) override {
    applicationErrors.push_back({MessageIcon::Error, caption, message, details});
  }
  int RunDialog(QDialog& dialog) override {
    dialogsRun.push_back(dialog.objectName());
    if (dialogAnswers.empty()) return QDialog::Rejected;
    const std::function<int(QDialog&)> answer = std::move(dialogAnswers.front());
    dialogAnswers.pop_front();
    return answer(dialog);
  }

  void Clear() {
    fileRequests.clear();
    messages.clear();
    questions.clear();
    applicationErrors.clear();
    dialogsRun.clear();
  }

 private:
  std::optional<QString> Answer(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return std::nullopt;
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    if (answer.isNull()) return std::nullopt;
    if (request.chosenFilter && !filterAnswers.empty()) {
      *request.chosenFilter = filterAnswers.front();
      filterAnswers.pop_front();
    }
    return answer;
  }
};

}  // namespace kestrel::studio::testing
