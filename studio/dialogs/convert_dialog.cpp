#include "studio/dialogs/convert_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "archive/file_io.h"
#include "archive/old_archive_conversion.h"
#include "studio/qt_common/file_name_field.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/button_keys.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

const char kMasFilter[] = "MAS Files (*.MAS)|*.MAS";

FileDialogRequest BrowseRequest(const char* objectName, const QString& title) {
  FileDialogRequest request;
  request.objectName = QString::fromLatin1(objectName);
  request.title = title;
  request.filter = QString::fromLatin1(kMasFilter);
  return request;
}

}  // namespace

TFKestrelConvert::TFKestrelConvert(StudioDialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
  setObjectName(QStringLiteral("FKestrelConvert"));
  setWindowTitle(tr(kConvertCaption));
  setModal(true);

  LSource = new QLabel(tr("&Source file :"), this);
  LSource->setObjectName(QStringLiteral("LSource"));
  FESource = new FileNameField(dialogs_, FileNameField::Browse::Open,
                               BrowseRequest("ODSource", tr("Choose the F1-2001 MAS file")), this);
  FESource->setObjectName(QStringLiteral("FESource"));
  LSource->setBuddy(FESource->Edit());

  LDestination = new QLabel(tr("&Destination file :"), this);
  LDestination->setObjectName(QStringLiteral("LDestination"));
  FEDestination = new FileNameField(dialogs_, FileNameField::Browse::Save,
                                    BrowseRequest("SDDestination", tr("Choose the new F1-2002 MAS file")), this);
  FEDestination->setObjectName(QStringLiteral("FEDestination"));
  LDestination->setBuddy(FEDestination->Edit());

  BStart = new QPushButton(tr("S&tart"), this);
  BStart->setObjectName(QStringLiteral("BStart"));
  BStart->setEnabled(false);
  BClose = new QPushButton(tr("&Close"), this);
  BClose->setObjectName(QStringLiteral("BClose"));
  // Enter in a field only ends the typing; a conversion starts by its button alone.
  for (QPushButton* button : {BStart, BClose}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setAccessibleName(tr("Conversion progress"));
  // The labels stand beside the fields, not beside the edits inside them, so the names are given.
  FESource->Edit()->setAccessibleName(tr("Source file"));
  FEDestination->Edit()->setAccessibleName(tr("Destination file"));
  FESource->BrowseButton()->setAccessibleName(tr("Browse for the source file"));
  FEDestination->BrowseButton()->setAccessibleName(tr("Browse for the destination file"));

  auto* fields = new QGridLayout;
  fields->addWidget(LSource, 0, 0);
  fields->addWidget(FESource, 0, 1);
  fields->addWidget(LDestination, 1, 0);
  fields->addWidget(FEDestination, 1, 1);
  fields->setColumnStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BStart);
  buttons->addWidget(BClose);
  auto* content = new QVBoxLayout;
  content->setContentsMargins(8, 8, 8, 4);
  content->addLayout(fields);
  content->addStretch(1);
  content->addLayout(buttons);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(4);
  outer->addLayout(content, 1);
  outer->addWidget(ProgressBar1);

  setTabOrder(FESource->Edit(), FESource->BrowseButton());
  setTabOrder(FESource->BrowseButton(), FEDestination->Edit());
  setTabOrder(FEDestination->Edit(), FEDestination->BrowseButton());
  setTabOrder(FEDestination->BrowseButton(), BStart);
  setTabOrder(BStart, BClose);

  // A fixed dialog frame with a client area of 400 by 125, or what the fonts need beyond it.
  const QSize size = sizeHint().expandedTo(QSize(400, 125));
  setFixedSize(size);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size);
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }

  FESource->changed = [this] { FESourceChange(); };
  FESource->finished = [this] { FESourceConfirm(); };
  FESource->chosen = [this] { FESourceConfirm(); };
  FEDestination->changed = [this] { FEDestinationChange(); };
  connect(BStart, &QPushButton::clicked, this, [this] { BStartClick(); });
  connect(BClose, &QPushButton::clicked, this, [this] { reject(); });
  PressFocusedButtonOnReturn(this);
}

void TFKestrelConvert::SetBrowseDirectory(const QString& directory) {
  FESource->SetFallbackDirectory(directory);
  FEDestination->SetFallbackDirectory(directory);
}

void TFKestrelConvert::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TFKestrelConvert::FormShow() {
  closing_ = false;
  FESource->clear();
  FEDestination->clear();
  FESourceChange();
  FEDestinationChange();
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  destinations_.clear();
  FESource->Edit()->setFocus();
}

void TFKestrelConvert::ApplyStartRule() { BStart->setEnabled(!running_ && source_valid_ && destination_given_); }

void TFKestrelConvert::JudgeSource(bool refuse) {
  source_valid_ = false;
  const QString name = FESource->text();
  const std::string native = NativePath(name);
  if (!name.isEmpty() && FileExists(native)) {
    if (IsOldArchive(native)) {
      source_valid_ = true;
      FEDestination->setText(FromNative(SuggestDestination(native)));
    } else if (refuse) {
      FESource->clear();  // runs the change handler again, which finds nothing to judge
      dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                           QString::fromLatin1(kNotOldArchiveMessage));
    }
  }
  ApplyStartRule();
}

// Typing goes through names that are not archives yet; they are refused only once typing ends.
void TFKestrelConvert::FESourceChange() { JudgeSource(false); }

void TFKestrelConvert::FESourceConfirm() {
  // A name already taken keeps the destination the user may have edited since.
  if (source_valid_ || closing_) return;
  JudgeSource(true);
}

void TFKestrelConvert::FEDestinationChange() {
  destination_given_ = !FEDestination->text().isEmpty();
  ApplyStartRule();
}

void TFKestrelConvert::Report(MessageIcon icon, const std::string& message) {
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  dialogs_.ShowMessage(icon, QString::fromLatin1(kStudioName), QString::fromLocal8Bit(message));
  QApplication::restoreOverrideCursor();
}

void TFKestrelConvert::BStartClick() {
  const std::string source = NativePath(FESource->text());
  if (running_ || !FileExists(source)) return;
  // The file may have been replaced since it was chosen.
  if (!IsOldArchive(source)) {
    source_valid_ = false;
    JudgeSource(true);
    return;
  }
  const std::string destination = AbsolutePath(NativePath(FEDestination->text()));

  running_ = true;
  BStart->setEnabled(false);
  BClose->setEnabled(false);
  // Whatever happens, the dialog returns to its idle state.
  struct Idle {
    TFKestrelConvert* dialog;
    ~Idle() {
      dialog->running_ = false;
      dialog->ApplyStartRule();
      dialog->BClose->setEnabled(true);
      dialog->ProgressBar1->setValue(0);
    }
  } idle{this};
  // The hourglass for the length of the conversion; Report takes it down while a report waits for
  // its OK, so the user is not shown a busy cursor over a box that wants a click.
  BusyCursor cursor;

  ConversionHooks hooks;
  hooks.Report = [this](const std::string& message) { Report(MessageIcon::Error, message); };
  hooks.Notice = [this](const std::string& message) { Report(MessageIcon::Information, message); };
  hooks.Progress = [this](size_t position, size_t maximum) {
    if (ProgressBar1->maximum() != static_cast<int>(maximum)) ProgressBar1->setRange(0, static_cast<int>(maximum));
    ProgressBar1->setValue(static_cast<int>(position));
    // The work holds the event loop, so the bar is drawn here and now.
    ProgressBar1->repaint();
  };
  // Only an archive that was written can have replaced the one open in the studio.
  if (ConvertOldArchive({source, destination, ""}, hooks).ArchiveWritten) destinations_.push_back(destination);
}

void TFKestrelConvert::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TFKestrelConvert::reject() {
  if (!running_) QDialog::reject();
}

void TFKestrelConvert::done(int result) {
  closing_ = true;
  QDialog::done(result);
}

}  // namespace kestrel::studio
