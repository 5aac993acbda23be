// The one door through which the studio asks the user anything or tells them anything.
//
// Commands never call QFileDialog or QMessageBox themselves: they go through this interface, so the
// real program shows Qt's dialogs while tests answer from a script and read back the exact texts.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QDialog;

namespace kestrel::studio {

enum class MessageIcon { None, Information, Warning, Error };

// What a file dialog is set up with. `filter` keeps the studio's "Description|*.EXT|..." form.
struct FileDialogRequest {
  QString objectName;  // the dialog's name, e.g. "ODMAS"
  QString title;
  QString filter;
  QString startDirectory;
  QString proposedName;
  QString defaultSuffix;
  // The filter shown first (0-based, in the order of `filter`). Where `chosenFilter` is given, an
  // accepted dialog stores there the filter the user left selected, so that the next one starts there.
  int selectedFilter = 0;
  int* chosenFilter = nullptr;
};

class StudioDialogs {
 public:
  virtual ~StudioDialogs() = default;
  // The chosen path, or nothing when the user cancels.
  virtual std::optional<QString> OpenFile(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> SaveFile(const FileDialogRequest& request) = 0;
  // A question with the buttons Yes and No; true only for Yes.
  virtual bool AskYesNo(const QString& caption, const QString& text) = 0;
  // A modal message with an OK button. Texts may hold "\r\n" line breaks.
  virtual void ShowMessage(MessageIcon icon, const QString& caption, const QString& text) = 0;
  // A folder, chosen in a folder dialog titled `title` starting at `startDirectory`; nothing when
  // the user cancels. The default cancels, for seams made before the studio asked for folders.
  virtual std::optional<QString> ChooseFolder(const QString& title, const QString& startDirectory) {
    (void)title;
    (void)startDirectory;
    return std::nullopt;
  }
  // A question with its own buttons, first one the default; the position of the button pressed,
  // or -1 when the box is closed without one (Escape). The default closes it.
  virtual int Choose(const QString& caption, const QString& text, const QStringList& buttons) {
    (void)caption;
    (void)text;
    (void)buttons;
    return -1;
  }
  // The dialog for errors that no command handled: caption, message, OK, and details on request.
  virtual void ShowApplicationError(const QString& caption, const QString& message, const QString& details) = 0;
  // Runs one of the studio's own dialogs modally (a list to read, a list to choose from) and gives
  // its QDialog::DialogCode. A test answers instead, after reading or choosing in its controls.
  virtual int RunDialog(QDialog& dialog) = 0;
};

}  // namespace kestrel::studio
