#include "studio/qt_common/qt_studio_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "studio/qt_common/application_error_dialog.h"

namespace kestrel::studio {

QString QtFilterFromStudioFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // A description that already ends in its patterns is shown as it is.
    if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1Char('(')))
      out << description;
    else
      out << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return out.join(QStringLiteral(";;"));
}

QString DisplayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

QWidget* QtStudioDialogs::Parent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return parent_;
}

std::optional<QString> QtStudioDialogs::RunFileDialog(const FileDialogRequest& request, bool save) {
  QFileDialog dialog(Parent(), request.title, request.startDirectory);
  dialog.setObjectName(request.objectName);
  const QStringList filters = QtFilterFromStudioFilter(request.filter).split(QStringLiteral(";;"));
  dialog.setNameFilters(filters);
  if (request.selectedFilter > 0 && request.selectedFilter < filters.size())
    dialog.selectNameFilter(filters[request.selectedFilter]);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // A typed name need not exist, and an existing file is replaced without asking.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.proposedName.isEmpty()) dialog.selectFile(request.proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString chosen = dialog.selectedFiles().constFirst();
  if (request.chosenFilter)
    *request.chosenFilter = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
  // Later relative paths resolve where the user last browsed.
  QDir::setCurrent(QFileInfo(chosen).absolutePath());
  return chosen;
}

std::optional<QString> QtStudioDialogs::OpenFile(const FileDialogRequest& request) {
  return RunFileDialog(request, false);
}

std::optional<QString> QtStudioDialogs::SaveFile(const FileDialogRequest& request) {
  return RunFileDialog(request, true);
}

bool QtStudioDialogs::AskYesNo(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Question, caption, DisplayText(text), QMessageBox::Yes | QMessageBox::No, Parent());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtStudioDialogs::ChooseFolder(const QString& title, const QString& startDirectory) {
  const QString folder = QFileDialog::getExistingDirectory(Parent(), title, startDirectory);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

int QtStudioDialogs::Choose(const QString& caption, const QString& text, const QStringList& buttons) {
  QMessageBox box(QMessageBox::Question, caption, DisplayText(text), QMessageBox::NoButton, Parent());
  QList<QAbstractButton*> made;
  for (const QString& label : buttons) made << box.addButton(label, QMessageBox::AcceptRole);
  if (!made.isEmpty()) box.setDefaultButton(qobject_cast<QPushButton*>(made.front()));
  // Escape closes the box as its last button would (Cancel, where there is one).
  if (!made.isEmpty()) box.setEscapeButton(made.back());
  box.exec();
  const int pressed = static_cast<int>(made.indexOf(box.clickedButton()));
  return pressed;
}

void QtStudioDialogs::ShowMessage(MessageIcon icon, const QString& caption, const QString& text) {
  QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
  switch (icon) {
    case MessageIcon::None: qtIcon = QMessageBox::NoIcon; break;
    case MessageIcon::Information: qtIcon = QMessageBox::Information; break;
    case MessageIcon::Warning: qtIcon = QMessageBox::Warning; break;
    case MessageIcon::Error: qtIcon = QMessageBox::Critical; break;
  }
  QMessageBox box(qtIcon, caption, DisplayText(text), QMessageBox::Ok, Parent());
  box.exec();
}

void QtStudioDialogs::ShowApplicationError(const QString& caption, const QString& message, const QString& details) {
  ApplicationErrorDialog dialog(caption, DisplayText(message), details, Parent());
  dialog.exec();
}

int QtStudioDialogs::RunDialog(QDialog& dialog) { return dialog.exec(); }

}  // namespace kestrel::studio
