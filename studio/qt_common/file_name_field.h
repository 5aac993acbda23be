// A file-name field with a browse button beside it: the text can be typed or chosen in a file
// dialog, which the field asks through StudioDialogs so tests can answer it.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "studio/qt_common/studio_dialogs.h"

class QLineEdit;
class QToolButton;

namespace kestrel::studio {

class FileNameField : public QWidget {
 public:
  enum class Browse { Open, Save };
  FileNameField(StudioDialogs& dialogs, Browse browse, FileDialogRequest request, QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& text);
  void clear() { setText(QString()); }
  QLineEdit* Edit() const { return edit_; }
  QToolButton* BrowseButton() const { return browse_button_; }

  // Where the file dialog starts when the field is empty.
  void SetFallbackDirectory(const QString& directory) { fallback_directory_ = directory; }
  // Runs the file dialog; a chosen name replaces the text and is reported to `chosen`.
  void BrowseClick();

  std::function<void()> changed;   // every change of the text, typed or set
  std::function<void()> finished;  // Enter pressed or the field left after typing
  std::function<void()> chosen;    // a name picked in the file dialog

 private:
  StudioDialogs& dialogs_;
  Browse browse_;
  FileDialogRequest request_;
  QString fallback_directory_;
  QLineEdit* edit_;
  QToolButton* browse_button_;
};

}  // namespace kestrel::studio
