// The studio's dialogs as Qt shows them.
#pragma once

#include <QPointer>
#include <QWidget>

#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

class QtStudioDialogs : public StudioDialogs {
 public:
  // Dialogs are centred over `parent` once it is set; before that they float free.
  void SetParent(QWidget* parent) { parent_ = parent; }

  std::optional<QString> OpenFile(const FileDialogRequest& request) override;
  std::optional<QString> SaveFile(const FileDialogRequest& request) override;
  bool AskYesNo(const QString& caption, const QString& text) override;
  void ShowMessage(MessageIcon icon, const QString& caption, const QString& text) override;
  void ShowApplicationError(const QString& caption, const QString& message, const QString& details) override;
  std::optional<QString> ChooseFolder(const QString& title, const QString& startDirectory) override;
  int Choose(const QString& caption, const QString& text, const QStringList& buttons) override;
  int RunDialog(QDialog& dialog) override;

 private:
  std::optional<QString> RunFileDialog(const FileDialogRequest& request, bool save);
  // The modal dialog the user is working in, else the main window: a box stays over what asked.
  QWidget* Parent() const;
  QPointer<QWidget> parent_;
};

// "Description|*.A;*.B|..." as Qt's "Description (*.A *.B);;..." filter list.
QString QtFilterFromStudioFilter(const QString& filter);
// Message texts keep their "\r\n" breaks; a Qt label wants "\n" alone.
QString DisplayText(const QString& text);

}  // namespace kestrel::studio
