#include "studio/dialogs/list_dialogs.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrel::studio {

namespace {

QLabel* TextLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QStringLiteral("LText"));
  label->setAccessibleName(QObject::tr("Message"));
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

QDialogButtonBox* ButtonBox(QDialogButtonBox::StandardButtons buttons, QDialog* dialog) {
  auto* box = new QDialogButtonBox(buttons, dialog);
  box->setObjectName(QStringLiteral("BButtons"));
  box->setAccessibleName(QObject::tr("Buttons"));
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return box;
}

// A button's accessible name is its caption as read aloud, without the mnemonic mark.
void NameButtons(QDialogButtonBox* box) {
  for (QAbstractButton* button : box->buttons()) {
    QString name = button->text();
    name.remove(QLatin1Char('&'));
    button->setAccessibleName(name);
  }
}

}  // namespace

TextListDialog::TextListDialog(const QString& objectName, const QString& caption, const QString& text,
                               const QStringList& lines, Buttons buttons, QWidget* parent)
    : QDialog(parent), lines_(lines) {
  setObjectName(objectName);
  setWindowTitle(caption);
  setModal(true);
  LText = TextLabel(text, this);

  MLines = new QPlainTextEdit(this);
  MLines->setObjectName(QStringLiteral("MLines"));
  MLines->setAccessibleName(tr("Lines"));
  MLines->setAccessibleDescription(text);
  MLines->setReadOnly(true);
  MLines->setLineWrapMode(QPlainTextEdit::NoWrap);
  MLines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  MLines->setPlainText(lines.join(QLatin1Char('\n')));
  MLines->setVisible(!lines.isEmpty());

  BButtons = ButtonBox(buttons == Buttons::YesNo ? QDialogButtonBox::Yes | QDialogButtonBox::No : QDialogButtonBox::Ok,
                       this);
  // The box's Yes and No are neither "accept" nor "reject" roles to Qt's signals.
  connect(BButtons, &QDialogButtonBox::clicked, this, [this](QAbstractButton* button) {
    const QDialogButtonBox::StandardButton which = BButtons->standardButton(button);
    if (which == QDialogButtonBox::Yes) accept();
    if (which == QDialogButtonBox::No) reject();
  });
  NameButtons(BButtons);
  QPushButton* first = BButtons->button(buttons == Buttons::YesNo ? QDialogButtonBox::Yes : QDialogButtonBox::Ok);
  first->setDefault(true);
  first->setFocus();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LText);
  layout->addWidget(MLines, 1);
  layout->addWidget(BButtons);
  resize(560, lines.isEmpty() ? 120 : 380);
}

QString TextListDialog::Text() const { return LText->text(); }

ListChoiceDialog::ListChoiceDialog(const QString& objectName, const QString& caption, const QString& text,
                                   const std::vector<Item>& items, const QString& acceptCaption, QWidget* parent)
    : QDialog(parent) {
  setObjectName(objectName);
  setWindowTitle(caption);
  setModal(true);
  LText = TextLabel(text, this);

  TVItems = new QTreeWidget(this);
  TVItems->setObjectName(QStringLiteral("TVItems"));
  TVItems->setAccessibleName(tr("Choices"));
  TVItems->setAccessibleDescription(text);
  TVItems->setHeaderHidden(true);
  TVItems->setColumnCount(1);
  TVItems->setSelectionMode(QAbstractItemView::SingleSelection);
  TVItems->setItemsExpandable(false);
  TVItems->setRootIsDecorated(false);
  for (const Item& item : items) {
    auto* node = new QTreeWidgetItem(TVItems, QStringList{item.text});
    QFont bold = node->font(0);
    bold.setBold(true);
    node->setFont(0, bold);
    for (const QString& detail : item.details) {
      auto* line = new QTreeWidgetItem(node, QStringList{detail});
      line->setFlags(Qt::ItemIsEnabled);  // shown, never chosen
    }
  }
  TVItems->expandAll();

  BButtons = ButtonBox(QDialogButtonBox::Cancel, this);
  BAccept = BButtons->addButton(acceptCaption, QDialogButtonBox::AcceptRole);
  BAccept->setObjectName(QStringLiteral("BAccept"));
  BAccept->setDefault(true);
  NameButtons(BButtons);

  connect(TVItems, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateAcceptButton(); });
  // A click on a detail line chooses the item it belongs to.
  connect(TVItems, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item && item->parent()) TVItems->setCurrentItem(item->parent());
  });
  connect(TVItems, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (!item->parent() || Chosen() >= 0) QDialog::accept();
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LText);
  layout->addWidget(TVItems, 1);
  layout->addWidget(BButtons);
  resize(520, 380);
  Choose(0);
  UpdateAcceptButton();
  TVItems->setFocus();
}

QString ListChoiceDialog::Text() const { return LText->text(); }

QStringList ListChoiceDialog::ItemTexts() const {
  QStringList texts;
  for (int i = 0; i < TVItems->topLevelItemCount(); ++i) texts << TVItems->topLevelItem(i)->text(0);
  return texts;
}

QStringList ListChoiceDialog::Details(int item) const {
  QStringList details;
  if (const QTreeWidgetItem* node = TVItems->topLevelItem(item))
    for (int i = 0; i < node->childCount(); ++i) details << node->child(i)->text(0);
  return details;
}

int ListChoiceDialog::Chosen() const {
  const QList<QTreeWidgetItem*> selected = TVItems->selectedItems();
  return selected.isEmpty() ? -1 : TVItems->indexOfTopLevelItem(selected.constFirst());
}

void ListChoiceDialog::Choose(int item) {
  if (QTreeWidgetItem* node = TVItems->topLevelItem(item)) TVItems->setCurrentItem(node);
  else TVItems->clearSelection();
}

void ListChoiceDialog::UpdateAcceptButton() {
  BAccept->setEnabled(Chosen() >= 0);
}

}  // namespace kestrel::studio
