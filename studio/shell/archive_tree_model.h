// The archive browser's tree: the table of contents grouped by type, five detail lines per entry.
//
// The nodes are never stored: each one is addressed by its kind and the entry's table position,
// and its text is made when the view asks for it. Building the tree for a table of any size is one
// pass to group the entries and one sort per group, so 20,000 entries open at once.
#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/mas_format.h"

namespace kestrel::studio {

class ArchiveTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  // Every node's integer: the entry's 1-based table position for an entry and its detail lines,
  // 0 for the other nodes.
  static constexpr int EntryIndexRole = Qt::UserRole + 1;
  static constexpr int kGroupCount = 6;
  static constexpr int kDetailCount = 5;

  explicit ArchiveTreeModel(QObject* parent = nullptr);

  // The six group captions in their order: "MTS Files" ... "Other Files".
  static const std::array<const char*, kGroupCount>& GroupCaptions();
  // The group an entry of `fileType` belongs to, 0 to 5.
  static int GroupOfType(int32_t fileType);

  void Clear();
  void Build(const QString& archiveFileName, const std::vector<TMAS_FileEntry>& table, int64_t fileLength);
  bool IsEmpty() const { return !has_archive_; }

  QModelIndex RootNode() const;
  QModelIndex NumFilesNode() const;
  QModelIndex FileSizeNode() const;
  QModelIndex GroupNode(int group) const;
  // An entry the filter hides has no node: its EntryNode and DetailNodes are invalid.
  QModelIndex EntryNode(int tableIndex) const;
  QModelIndex DetailNode(int tableIndex, int detail) const;

  // Narrows the groups to entries whose name holds `pattern`, letter case ignored; `*` stands for
  // any run of characters and `?` for one. The captions then count the entries shown; "Num files: "
  // keeps the archive's count. An empty pattern shows everything. Nodes that stay keep their
  // expansion and selection (the change is a layout change, not a reset).
  void SetFilter(const QString& pattern);
  const QString& Filter() const { return filter_; }
  // Table positions of the entries shown, group by group in display order.
  std::vector<int> VisibleEntries() const;

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  enum class Kind : quint8 { Root = 1, NumFiles, Group, Entry, Detail, FileSize };
  static quintptr Id(Kind kind, uint32_t value, uint32_t detail = 0);
  static Kind KindOf(const QModelIndex& index);
  static uint32_t ValueOf(const QModelIndex& index);
  static uint32_t DetailOf(const QModelIndex& index);
  QString Text(const QModelIndex& index) const;

  bool has_archive_ = false;
  QString file_name_;
  int64_t file_length_ = 0;
  std::vector<TMAS_FileEntry> table_;
  void ApplyFilter();

  std::array<std::vector<int32_t>, kGroupCount> sorted_;  // every entry's table position, in display order
  std::array<std::vector<int32_t>, kGroupCount> groups_;  // the entries the filter shows, in display order
  QString filter_;
  std::vector<QString> folded_names_;                     // made at the first filter, per table position
  std::vector<uint8_t> group_of_;                         // per table position
  std::vector<int32_t> row_in_group_;                     // per table position; -1 while hidden
};

}  // namespace kestrel::studio
