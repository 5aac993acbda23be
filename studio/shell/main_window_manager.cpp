// The window as an archive manager: the filter over the tree, several entries at once, extraction
// into a folder, closing and reloading, and what each command leaves in the status line.
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>
#include <functional>
#include <set>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "studio/open_archive/entry_access.h"
#include "studio/preview/image_view.h"
#include "studio/open_archive/loaded_archive.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/shell/background_work.h"
#include "studio/shell/extraction_job.h"
#include "studio/shell/main_window.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

// Escape in the filter field clears it and hands the keyboard back to the tree.
class FilterFieldKeys : public QObject {
 public:
  FilterFieldKeys(QLineEdit* field, QTreeView* tree) : QObject(field), field_(field), tree_(tree) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      field_->clear();
      tree_->setFocus(Qt::ShortcutFocusReason);
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QLineEdit* field_;
  QTreeView* tree_;
};

// The Menu key asks for the menu at the middle of the tree; it belongs beside the current entry,
// and must not change the selection as a right click on another node does.
class KeyboardContextMenu : public QObject {
 public:
  KeyboardContextMenu(QTreeView* tree, std::function<void(const QPoint&, bool)> show)
      : QObject(tree), tree_(tree), show_(std::move(show)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ContextMenu) return QObject::eventFilter(watched, event);
    const auto* menu = static_cast<QContextMenuEvent*>(event);
    if (menu->reason() == QContextMenuEvent::Keyboard) {
      const QRect item = tree_->visualRect(tree_->currentIndex());
      show_(item.isValid() ? item.center() : QPoint(0, 0), false);
    } else {
      show_(menu->pos(), true);
    }
    return true;
  }

 private:
  QTreeView* tree_;
  std::function<void(const QPoint&, bool)> show_;
};

QString Entries(int count) {
  return count == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(count);
}

}  // namespace

void TFKestrel::CreateArchiveManager() {
  EntryFilter = new QLineEdit(PTree);
  EntryFilter->setObjectName(QStringLiteral("EntryFilter"));
  EntryFilter->setPlaceholderText(tr("Filter entries (* and ? allowed)"));
  EntryFilter->setAccessibleName(tr("Filter entries"));
  EntryFilter->setToolTip(tr("Show only the entries whose name holds this text (Ctrl+F)"));
  EntryFilter->setClearButtonEnabled(true);
  // Qt's clear button has no text of its own; a screen reader would find it silent.
  for (QToolButton* button : EntryFilter->findChildren<QToolButton*>()) {
    button->setAccessibleName(tr("Clear filter"));
    button->setToolTip(tr("Clear filter"));
  }
  EntryFilter->installEventFilter(new FilterFieldKeys(EntryFilter, MASTreeNT));
  auto* treeLayout = static_cast<QBoxLayout*>(PTree->layout());
  treeLayout->setDirection(QBoxLayout::TopToBottom);
  treeLayout->insertWidget(0, EntryFilter);
  connect(EntryFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
    filtered_archive_ = state_.ArchivePath;
    tree_model_->SetFilter(text);
    // What matches is shown: the groups holding matches open (they stay open when it is cleared).
    if (text.isEmpty() || tree_model_->IsEmpty()) return;
    MASTreeNT->expand(tree_model_->NumFilesNode());
    for (int group = 0; group < ArchiveTreeModel::kGroupCount; ++group)
      if (tree_model_->rowCount(tree_model_->GroupNode(group)) > 0) MASTreeNT->expand(tree_model_->GroupNode(group));
  });

  MASTreeNT->setSelectionMode(QAbstractItemView::ExtendedSelection);
  MASTreeNT->setAccessibleName(tr("Archive entries"));

  FilterEntries1 = NewAction("FilterEntries1", tr("&Filter Entries"), tr("Filter the entries by name"), true);
  FilterEntries1->setShortcut(QKeySequence::Find);
  SelectAllEntries1 = NewAction("SelectAllEntries1", tr("Select A&ll"), tr("Select every entry shown"), false);
  SelectAllEntries1->setShortcut(QKeySequence::SelectAll);
  ExtractSelected1 = NewAction("ExtractSelected1", tr("E&xtract Selected..."),
                               tr("Write the selected entries into a folder"), false);
  ExtractSelected1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  ExtractAll1 = NewAction("ExtractAll1", tr("Ex&tract All..."), tr("Write every entry into a folder"), false);
  ExtractAll1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  Reload1 = NewAction("Reload1", tr("&Reload"), tr("Read the archive again from disk"), false);
  Reload1->setShortcut(QKeySequence::Refresh);
  Close1 = NewAction("Close1", tr("&Close"), tr("Close the archive"), false);
  Close1->setShortcut(QKeySequence::Close);
  CopyName1 = NewAction("CopyName1", tr("Cop&y Name"), tr("Copy the entry's name"), false);
  RemoveselecteditemfromthisMASfile1->setShortcut(QKeySequence::Delete);
  // Delete and Select All mean the field's own keys while it has the keyboard.
  for (QAction* action : {RemoveselecteditemfromthisMASfile1, SelectAllEntries1}) action->setShortcutContext(Qt::WindowShortcut);

  connect(FilterEntries1, &QAction::triggered, this, [this] {
    EntryFilter->setFocus(Qt::ShortcutFocusReason);
    EntryFilter->selectAll();
  });
  Bind(SelectAllEntries1, &TFKestrel::SelectVisibleEntries);
  connect(ExtractSelected1, &QAction::triggered, this, [this] {
    RunCommand(QStringLiteral("ExtractSelected1Click"), [this] { ExtractEntriesToFolder(SelectedEntries()); });
  });
  connect(ExtractAll1, &QAction::triggered, this, [this] {
    RunCommand(QStringLiteral("ExtractAll1Click"), [this] {
      std::vector<int> all(static_cast<size_t>(state_.FileCount()));
      for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
      ExtractEntriesToFolder(all);
    });
  });
  connect(Reload1, &QAction::triggered, this, [this] {
    RunCommand(QStringLiteral("Reload1Click"), [this] {
      if (!state_.IsOpen()) return;
      OpenArchive(FromNative(state_.ArchivePath));
      if (state_.IsOpen()) StatusBar->showMessage(tr("Reloaded %1").arg(FromNative(state_.ArchivePath)));
    });
  });
  Bind(Close1, &TFKestrel::CloseArchive);
  connect(CopyName1, &QAction::triggered, this, [this] {
    QStringList names;
    for (int index : SelectedEntries()) names << QString::fromStdString(EntryNameToUtf8(state_.Table[static_cast<size_t>(index)].Name()));
    QApplication::clipboard()->setText(names.join(QLatin1Char('\n')));
  });

  File1->insertActions(ExportglTFFile1, {Reload1, Close1});
  Edit1->addSeparator();
  Edit1->addActions({ExtractSelected1, ExtractAll1, CopyName1});
  Edit1->addSeparator();
  Edit1->addActions({SelectAllEntries1, FilterEntries1});

  // A new tree: another archive drops the filter; a reload of the same one keeps it.
  connect(tree_model_, &QAbstractItemModel::modelReset, this, [this] {
    if (state_.ArchivePath != filtered_archive_ && !EntryFilter->text().isEmpty()) EntryFilter->clear();
    UpdateManagerCommands();
  });
  connect(MASTreeNT->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateManagerCommands(); });
  connect(MASTreeNT->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { UpdateManagerCommands(); });
  CreateEntryContextMenu();
  UpdateManagerCommands();
}

void TFKestrel::UpdateManagerCommands() {
  const bool open = state_.IsOpen();
  const bool selected = open && !SelectedEntries().empty();
  ExtractSelected1->setEnabled(selected);
  CopyName1->setEnabled(selected);
  ExtractAll1->setEnabled(open && state_.FileCount() > 0);
  SelectAllEntries1->setEnabled(open);
  Reload1->setEnabled(open);
  Close1->setEnabled(open);
  // Several entries can go at once, as long as one stays.
  const size_t count = SelectedEntries().size();
  if (count > 1) RemoveselecteditemfromthisMASfile1->setEnabled(!state_.ReadOnlyMedium && count < static_cast<size_t>(state_.FileCount()));
}

std::vector<int> TFKestrel::SelectedEntries() const {
  std::set<int> entries;
  if (!state_.IsOpen()) return {};
  for (const QModelIndex& node : MASTreeNT->selectionModel()->selectedIndexes()) {
    const int entry = node.data(ArchiveTreeModel::EntryIndexRole).toInt();
    if (entry > 0 && entry <= state_.FileCount()) entries.insert(entry - 1);
  }
  if (entries.empty()) {
    const int current = MASTreeNT->currentIndex().data(ArchiveTreeModel::EntryIndexRole).toInt();
    if (current > 0 && current <= state_.FileCount()) entries.insert(current - 1);
  }
  return {entries.begin(), entries.end()};
}

void TFKestrel::SelectVisibleEntries() {
  if (!state_.IsOpen()) return;
  QItemSelection selection;
  for (int group = 0; group < ArchiveTreeModel::kGroupCount; ++group) {
    const QModelIndex parent = tree_model_->GroupNode(group);
    const int rows = tree_model_->rowCount(parent);
    if (rows > 0) selection.select(tree_model_->index(0, 0, parent), tree_model_->index(rows - 1, 0, parent));
  }
  MASTreeNT->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

bool TFKestrel::ExtractEntriesToFolder(const std::vector<int>& entries) {
  if (!state_.IsOpen() || entries.empty()) return false;
  const QString start = extract_folder_last_.isEmpty() ? settings_.BMPInitialDir : extract_folder_last_;
  const std::optional<QString> chosen = dialogs_.ChooseFolder(tr("Extract into Folder"), start);
  if (!chosen) return false;
  const std::string folder = NativePath(*chosen);
  const QString caption = QString::fromLatin1(kStudioName);
  if (!DirectoryExists(folder)) {
    dialogs_.ShowMessage(MessageIcon::Error, caption, tr("The folder %1 does not exist.").arg(*chosen));
    return false;
  }
  extract_folder_last_ = *chosen;
  const LoadedArchive archive = LoadedFrom(state_);
  const QStringList buttons = {tr("Overwrite"), tr("Skip"), tr("Overwrite All"), tr("Cancel")};
  const ExtractionPlan plan = PlanExtraction(archive, entries, folder, [&](const std::string& fileName) {
    const QString text = tr("%1 already exists in %2. Overwrite it?").arg(FromNative(fileName), *chosen);
    switch (dialogs_.Choose(caption, text, buttons)) {
      case 0: return ClashAnswer::Overwrite;
      case 1: return ClashAnswer::Skip;
      case 2: return ClashAnswer::OverwriteAll;
      default: return ClashAnswer::Cancel;
    }
  });
  if (plan.Cancelled) {
    StatusBar->showMessage(tr("Extraction cancelled; nothing was written"));
    return false;
  }
  ExtractionOutcome outcome;
  RunInBackground(this, tr("Extracting %1 into %2").arg(Entries(static_cast<int>(plan.Entries.size())), *chosen),
                  static_cast<int>(plan.Entries.size()), [&](WorkProgress& progress) {
                    outcome = RunExtraction(archive, plan.Entries, folder, [&] { return progress.CancelRequested.load(); },
                                            [&] { ++progress.Done; });
                  });
  if (!outcome.Messages.empty()) {
    QStringList lines;
    for (const std::string& message : outcome.Messages) lines << QString::fromLocal8Bit(message);
    dialogs_.ShowMessage(MessageIcon::Warning, caption, lines.join(QStringLiteral("\r\n")));
  }
  QString summary = tr("Extracted %1 into %2").arg(Entries(outcome.Written), *chosen);
  if (plan.Skipped > 0) summary += tr("; %1 skipped").arg(plan.Skipped);
  if (outcome.Cancelled) summary += tr("; cancelled before the rest");
  StatusBar->showMessage(summary);
  return outcome.Written > 0;
}

void TFKestrel::CloseArchive() {
  if (!state_.IsOpen()) return;
  const QString name = FromNative(state_.ArchivePath);
  state_.ClearArchive();
  state_.SelectedEntry = 0;
  tree_model_->Clear();
  ResetCommands();
  AddafiletothisMASfile1->setEnabled(false);
  MASImgView->Blank();
  UpdateTitle();
  StatusBar->showMessage(tr("Closed %1").arg(name));
}

void TFKestrel::CreateEntryContextMenu() {
  MASTreeNT->viewport()->installEventFilter(new KeyboardContextMenu(MASTreeNT, [this](const QPoint& position, bool byMouse) {
    RunCommand(QStringLiteral("EntryContextMenu"), [&] { ShowEntryContextMenu(position, byMouse); });
  }));
}

void TFKestrel::ShowEntryContextMenu(const QPoint& position, bool byMouse) {
  if (!state_.IsOpen()) return;
  // A right click on an entry outside the selection makes it the selection, as file managers do.
  const QModelIndex node = MASTreeNT->indexAt(position);
  if (byMouse && node.isValid() && !MASTreeNT->selectionModel()->isSelected(node)) MASTreeNT->setCurrentIndex(node);
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("EntryContextMenu"));
  menu.setAccessibleName(tr("Entry commands"));
  for (QAction* action : {ExtractSelected1, Exportimagetofile1, Exportnonimagefile1, ExportglTFFile1, Importimagefromfile1,
                          Importnonimagefile1, RemoveselecteditemfromthisMASfile1, CopyName1})
    if (action->isEnabled()) menu.addAction(action);
  if (menu.isEmpty()) return;
  menu.exec(MASTreeNT->viewport()->mapToGlobal(position));
}

}  // namespace kestrel::studio
