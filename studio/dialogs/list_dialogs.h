// Two small dialogs for lists the studio shows: lines to read (differences between archives, what a
// mod package does, why one was refused), and one item to choose among several, each with detail
// lines under it. Both are run through StudioDialogs::RunDialog, so tests read and answer them.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace kestrel::studio {

// A text above a list of lines. With YesNo it asks (Accepted for Yes); with Ok it tells.
class TextListDialog : public QDialog {
 public:
  enum class Buttons { Ok, YesNo };
  TextListDialog(const QString& objectName, const QString& caption, const QString& text, const QStringList& lines,
                 Buttons buttons, QWidget* parent = nullptr);

  QString Text() const;
  QStringList Lines() const { return lines_; }

  QLabel* LText = nullptr;
  QPlainTextEdit* MLines = nullptr;  // read only, so that the lines can be selected and copied
  QDialogButtonBox* BButtons = nullptr;

 private:
  QStringList lines_;
};

// A text above a list of items to choose one of; an item's details are shown under it and cannot be
// chosen themselves. The first item starts chosen; the accept button is named by the caller.
class ListChoiceDialog : public QDialog {
 public:
  struct Item {
    QString text;
    QStringList details;
  };
  ListChoiceDialog(const QString& objectName, const QString& caption, const QString& text,
                   const std::vector<Item>& items, const QString& acceptCaption, QWidget* parent = nullptr);

  QString Text() const;
  // The items' texts, in order, and the details of one.
  QStringList ItemTexts() const;
  QStringList Details(int item) const;
  // The chosen item's position, or -1 for none.
  int Chosen() const;
  void Choose(int item);

  QLabel* LText = nullptr;
  QTreeWidget* TVItems = nullptr;
  QDialogButtonBox* BButtons = nullptr;
  QPushButton* BAccept = nullptr;

 private:
  void UpdateAcceptButton();
};

}  // namespace kestrel::studio
