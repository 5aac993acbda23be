#include "studio/shell/archive_tree_model.h"

#include <QColor>
#include <algorithm>
#include <numeric>

#include "archive/entry_name_encoding.h"
#include "archive/name_collation.h"
#include "studio/shell/entry_filter.h"

namespace kestrel::studio {

namespace {
constexpr int kOtherGroup = 5;
constexpr quintptr kKindShift = 56;
constexpr quintptr kDetailShift = 48;
constexpr quintptr kValueMask = (quintptr{1} << 32) - 1;
}  // namespace

ArchiveTreeModel::ArchiveTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

const std::array<const char*, ArchiveTreeModel::kGroupCount>& ArchiveTreeModel::GroupCaptions() {
  static const std::array<const char*, kGroupCount> captions = {"MTS Files", "BMP Files", "ANM Files",
                                                                "TGA Files", "JPG Files", "Other Files"};
  return captions;
}

int ArchiveTreeModel::GroupOfType(int32_t fileType) {
  switch (fileType) {
    case kMasTypeOldMTS:
    case kMasTypeMTS: return 0;
    case kMasTypeOldBMP:
    case kMasTypeBMP: return 1;
    case kMasTypeOldANM:
    case kMasTypeANM: return 2;
    case kMasTypeTGA: return 3;
    case kMasTypeJPG: return 4;
    default: return kOtherGroup;
  }
}

void ArchiveTreeModel::Clear() {
  beginResetModel();
  has_archive_ = false;
  file_name_.clear();
  table_.clear();
  table_.shrink_to_fit();
  for (auto& group : groups_) group.clear();
  for (auto& group : sorted_) group.clear();
  folded_names_.clear();
  group_of_.clear();
  row_in_group_.clear();
  endResetModel();
}

void ArchiveTreeModel::Build(const QString& archiveFileName, const std::vector<TMAS_FileEntry>& table,
                             int64_t fileLength) {
  beginResetModel();
  has_archive_ = true;
  file_name_ = archiveFileName;
  file_length_ = fileLength;
  table_ = table;
  for (auto& group : groups_) group.clear();
  folded_names_.clear();
  group_of_.assign(table_.size(), 0);
  row_in_group_.assign(table_.size(), 0);

  for (size_t i = 0; i < table_.size(); ++i) {
    const int group = GroupOfType(table_[i].FileType);
    group_of_[i] = static_cast<uint8_t>(group);
    groups_[static_cast<size_t>(group)].push_back(static_cast<int32_t>(i));
  }
  // Every group but "Other Files" lists its entries by name, letter case ignored.
  std::vector<std::string> names(table_.size());
  for (int group = 0; group < kOtherGroup; ++group)
    for (int32_t i : groups_[static_cast<size_t>(group)]) names[static_cast<size_t>(i)] = table_[static_cast<size_t>(i)].Name();
  for (int group = 0; group < kOtherGroup; ++group) {
    auto& members = groups_[static_cast<size_t>(group)];
    std::stable_sort(members.begin(), members.end(), [&](int32_t a, int32_t b) {
      return CompareNamesIgnoreCase(names[static_cast<size_t>(a)], names[static_cast<size_t>(b)]) < 0;
    });
  }
  sorted_ = groups_;
  ApplyFilter();
  endResetModel();
}

void ArchiveTreeModel::ApplyFilter() {
  if (filter_.isEmpty()) {
    groups_ = sorted_;
  } else {
    if (folded_names_.size() != table_.size()) {
      folded_names_.resize(table_.size());
      for (size_t i = 0; i < table_.size(); ++i) folded_names_[i] = QString::fromStdString(EntryNameToUtf8(table_[i].Name())).toCaseFolded();
    }
    const QString pattern = filter_.toCaseFolded();
    for (int group = 0; group < kGroupCount; ++group) {
      auto& shown = groups_[static_cast<size_t>(group)];
      shown.clear();
      for (int32_t i : sorted_[static_cast<size_t>(group)])
        if (NameHoldsPattern(folded_names_[static_cast<size_t>(i)], pattern)) shown.push_back(i);
    }
  }
  std::fill(row_in_group_.begin(), row_in_group_.end(), -1);
  for (const auto& members : groups_)
    for (size_t row = 0; row < members.size(); ++row) row_in_group_[static_cast<size_t>(members[row])] = static_cast<int32_t>(row);
}

void ArchiveTreeModel::SetFilter(const QString& pattern) {
  if (pattern == filter_) return;
  if (!has_archive_) {
    filter_ = pattern;
    return;
  }
  emit layoutAboutToBeChanged();
  filter_ = pattern;
  ApplyFilter();
  // A node is known by its kind and table position, never by its row, so every node that stays
  // keeps its identity; the persistent ones (expanded, selected, current) only move or go.
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& node : before) {
    const Kind kind = KindOf(node);
    const int entry = static_cast<int>(ValueOf(node));
    if (kind == Kind::Entry) after << EntryNode(entry);
    else if (kind == Kind::Detail) after << DetailNode(entry, static_cast<int>(DetailOf(node)));
    else after << node;
  }
  changePersistentIndexList(before, after);
  emit layoutChanged();
  // The captions' counts changed with the groups.
  emit dataChanged(GroupNode(0), GroupNode(kGroupCount - 1), {Qt::DisplayRole});
}

std::vector<int> ArchiveTreeModel::VisibleEntries() const {
  std::vector<int> entries;
  for (const auto& members : groups_) entries.insert(entries.end(), members.begin(), members.end());
  return entries;
}

quintptr ArchiveTreeModel::Id(Kind kind, uint32_t value, uint32_t detail) {
  return (static_cast<quintptr>(kind) << kKindShift) | (static_cast<quintptr>(detail) << kDetailShift) | value;
}
ArchiveTreeModel::Kind ArchiveTreeModel::KindOf(const QModelIndex& index) {
  return static_cast<Kind>(index.internalId() >> kKindShift);
}
uint32_t ArchiveTreeModel::ValueOf(const QModelIndex& index) {
  return static_cast<uint32_t>(index.internalId() & kValueMask);
}
uint32_t ArchiveTreeModel::DetailOf(const QModelIndex& index) {
  return static_cast<uint32_t>((index.internalId() >> kDetailShift) & 0xFF);
}

QModelIndex ArchiveTreeModel::RootNode() const { return has_archive_ ? createIndex(0, 0, Id(Kind::Root, 0)) : QModelIndex(); }
QModelIndex ArchiveTreeModel::NumFilesNode() const {
  return has_archive_ ? createIndex(0, 0, Id(Kind::NumFiles, 0)) : QModelIndex();
}
QModelIndex ArchiveTreeModel::FileSizeNode() const {
  return has_archive_ ? createIndex(1, 0, Id(Kind::FileSize, 0)) : QModelIndex();
}
QModelIndex ArchiveTreeModel::GroupNode(int group) const {
  if (!has_archive_ || group < 0 || group >= kGroupCount) return {};
  return createIndex(group, 0, Id(Kind::Group, static_cast<uint32_t>(group)));
}
QModelIndex ArchiveTreeModel::EntryNode(int tableIndex) const {
  if (!has_archive_ || tableIndex < 0 || static_cast<size_t>(tableIndex) >= table_.size() ||
      row_in_group_[static_cast<size_t>(tableIndex)] < 0)
    return {};
  return createIndex(row_in_group_[static_cast<size_t>(tableIndex)], 0, Id(Kind::Entry, static_cast<uint32_t>(tableIndex)));
}
QModelIndex ArchiveTreeModel::DetailNode(int tableIndex, int detail) const {
  if (!EntryNode(tableIndex).isValid() || detail < 0 || detail >= kDetailCount) return {};
  return createIndex(detail, 0, Id(Kind::Detail, static_cast<uint32_t>(tableIndex), static_cast<uint32_t>(detail)));
}

QModelIndex ArchiveTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return RootNode();
  switch (KindOf(parent)) {
    case Kind::Root: return row == 0 ? NumFilesNode() : FileSizeNode();
    case Kind::NumFiles: return GroupNode(row);
    case Kind::Group: return EntryNode(groups_[ValueOf(parent)][static_cast<size_t>(row)]);
    case Kind::Entry: return DetailNode(static_cast<int>(ValueOf(parent)), row);
    default: return {};
  }
}

QModelIndex ArchiveTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  switch (KindOf(child)) {
    case Kind::NumFiles:
    case Kind::FileSize: return RootNode();
    case Kind::Group: return NumFilesNode();
    case Kind::Entry: return GroupNode(group_of_[ValueOf(child)]);
    case Kind::Detail: return EntryNode(static_cast<int>(ValueOf(child)));
    default: return {};
  }
}

int ArchiveTreeModel::rowCount(const QModelIndex& parent) const {
  if (!has_archive_) return 0;
  if (!parent.isValid()) return 1;
  if (parent.column() != 0) return 0;
  switch (KindOf(parent)) {
    case Kind::Root: return 2;
    case Kind::NumFiles: return kGroupCount;
    case Kind::Group: return static_cast<int>(groups_[ValueOf(parent)].size());
    case Kind::Entry: return kDetailCount;
    default: return 0;
  }
}

int ArchiveTreeModel::columnCount(const QModelIndex&) const { return 1; }

QString ArchiveTreeModel::Text(const QModelIndex& index) const {
  const uint32_t value = ValueOf(index);
  switch (KindOf(index)) {
    case Kind::Root: return file_name_;
    case Kind::NumFiles: return QStringLiteral("Num files: %1").arg(static_cast<int32_t>(table_.size()));
    case Kind::FileSize: return QStringLiteral("Filesize : %1").arg(file_length_);
    case Kind::Group:
      if (filter_.isEmpty()) return QString::fromLatin1(GroupCaptions()[value]);
      return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(GroupCaptions()[value])).arg(groups_[value].size());
    case Kind::Entry: return QString::fromStdString(EntryNameToUtf8(table_[value].Name()));
    case Kind::Detail: {
      const TMAS_FileEntry& e = table_[value];
      switch (DetailOf(index)) {
        case 0: return QStringLiteral("Type : ") + QString::fromLatin1(MASTypeName(e.FileType));
        case 1: return QStringLiteral("Start : %1").arg(e.Offset);
        case 2: return QStringLiteral("Uncompressed : %1").arg(e.UncompressedSize);
        case 3: return QStringLiteral("Compressed : %1").arg(e.CompressedSize);
        default: return QStringLiteral("Unknown : %1").arg(e.Unknown);
      }
    }
  }
  return {};
}

QVariant ArchiveTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !has_archive_) return {};
  const Kind kind = KindOf(index);
  switch (role) {
    case Qt::DisplayRole: return Text(index);
    case EntryIndexRole:
      return (kind == Kind::Entry || kind == Kind::Detail) ? static_cast<int>(ValueOf(index)) + 1 : 0;
    case Qt::ForegroundRole:
      if (kind == Kind::Entry && !table_[ValueOf(index)].IsStored()) return QColor(0, 0, 128);
      return {};
    default: return {};
  }
}

Qt::ItemFlags ArchiveTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const Kind kind = KindOf(index);
  if (kind == Kind::Detail || kind == Kind::FileSize) flags |= Qt::ItemNeverHasChildren;
  return flags;
}

}  // namespace kestrel::studio
