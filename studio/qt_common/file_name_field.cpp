#include "studio/qt_common/file_name_field.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

namespace kestrel::studio {

FileNameField::FileNameField(StudioDialogs& dialogs, Browse browse, FileDialogRequest request, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), browse_(browse), request_(std::move(request)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("Edit"));
  browse_button_ = new QToolButton(this);
  browse_button_->setObjectName(QStringLiteral("Browse"));
  browse_button_->setText(QStringLiteral("..."));
  browse_button_->setToolTip(tr("Browse (Alt+Down)"));
  browse_button_->setAccessibleName(tr("Browse"));  // rather than "dot dot dot"
  browse_button_->setFocusPolicy(Qt::TabFocus);
  layout->addWidget(edit_, 1);
  layout->addWidget(browse_button_);
  setFocusProxy(edit_);

  // Alt+Down in the field opens the file dialog, as it opens a combo box's list.
  auto* browseKey = new QAction(this);
  browseKey->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
  browseKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(browseKey);
  connect(browseKey, &QAction::triggered, this, [this] { BrowseClick(); });

  connect(browse_button_, &QToolButton::clicked, this, [this] { BrowseClick(); });
  connect(edit_, &QLineEdit::textChanged, this, [this] {
    if (changed) changed();
  });
  connect(edit_, &QLineEdit::editingFinished, this, [this] {
    if (finished) finished();
  });
}

QString FileNameField::text() const { return edit_->text(); }

void FileNameField::setText(const QString& text) { edit_->setText(text); }

void FileNameField::BrowseClick() {
  FileDialogRequest request = request_;
  const QString current = text();
  if (!current.isEmpty()) {
    const QFileInfo info(current);
    request.startDirectory = info.absolutePath();
    request.proposedName = info.fileName();
  } else {
    request.startDirectory = fallback_directory_;
  }
  const std::optional<QString> answer =
      browse_ == Browse::Open ? dialogs_.OpenFile(request) : dialogs_.SaveFile(request);
  if (!answer) return;
  setText(*answer);
  edit_->setFocus();
  if (chosen) chosen();
}

}  // namespace kestrel::studio
