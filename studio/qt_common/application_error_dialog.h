// The dialog for errors that no command handles, and the report it can unfold.
#pragma once

#include <QDialog>
#include <QString>
#include <exception>

class QFontMetrics;
class QPlainTextEdit;
class QPushButton;

namespace kestrel::studio {

class StudioDialogs;

// Caption, message, OK, and a Details button that unfolds the technical report below.
class ApplicationErrorDialog : public QDialog {
  Q_OBJECT
 public:
  ApplicationErrorDialog(const QString& caption, const QString& message, const QString& details,
                         QWidget* parent = nullptr);
  bool DetailsShown() const;

 private:
  void BDetailsClick();
  QPushButton* details_button_ = nullptr;
  QPlainTextEdit* report_ = nullptr;
};

// `message` broken into lines no wider than `width`: at spaces, and inside a word too wide for a
// line (a path) only after a folder separator; a word with none stays whole. "\r\n" and "\n"
// keep their breaks.
QString WrapMessage(const QString& message, const QFontMetrics& metrics, int width);

// "<title> - application error".
QString ApplicationErrorCaption(const QString& applicationTitle);

// The message and the technical report of an exception; `where` names what was running.
struct ErrorDescription {
  QString message;
  QString details;
};
ErrorDescription DescribeException(std::exception_ptr error, const QString& where);

// Shows the exception being handled through `dialogs`; call it only inside a catch block.
void ReportUnhandledError(StudioDialogs& dialogs, const QString& where);

}  // namespace kestrel::studio
