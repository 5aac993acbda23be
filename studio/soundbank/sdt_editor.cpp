#include "studio/soundbank/sdt_editor.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "archive/entry_name_encoding.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/button_keys.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"
#include "studio/qt_common/studio_settings.h"

namespace kestrel::studio {
namespace {

constexpr int kIndexRole = Qt::UserRole;
constexpr int kPlayTimerInterval = 50;
constexpr int kOutputFrequency = 22050;
constexpr uint32_t kInitFlags = 32;

// The folder of `path` with its trailing separator, as the two start folders are kept here.
QString FolderWithSeparator(const QString& path) {
  QString folder = QFileInfo(path).absolutePath();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

// A sample's name as the studio shows it: its bytes are text in the games' Windows code page.
QString SampleName(const TSDT_Entry& entry) { return QString::fromStdString(EntryNameToUtf8(entry.DisplayName())); }

// A sample's name as a file name: a name may hold what no file name can ("SFX/HORN"), which
// would otherwise send the file dialog into a folder or refuse the name.
QString SafeFileName(QString name) {
  for (QChar& c : name)
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control) c = QLatin1Char('_');
  if (name == QLatin1String(".") || name == QLatin1String("..")) name.fill(QLatin1Char('_'));
  return name;
}

// Why an export failed, for the line under "Error exporting MP2 file.".
QString ExportFailureReason(const std::exception& error) {
  if (const auto* file = dynamic_cast<const EInOutError*>(&error))
    return QString::fromLocal8Bit(file->what()) + QStringLiteral(" (\"") + FromNative(file->Path()) + QStringLiteral("\")");
  if (dynamic_cast<const SoundBankError*>(&error)) return QString::fromLocal8Bit(error.what());
  return {};
}

QPushButton* NewButton(QWidget* parent, const char* objectName, const QString& caption, bool enabled) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(objectName));
  button->setEnabled(enabled);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TFKestrelSDT::TFKestrelSDT(StudioDialogs& dialogs, StudioSettings& settings, audio::AudioLibrary& audio,
                           CommandRunner run, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), settings_(settings), audio_(audio), run_(std::move(run)) {
  setObjectName(QStringLiteral("FKestrelSDT"));
  setWindowTitle(tr("SDT Editor"));
  setModal(true);

  LVSDT = new QTreeWidget(this);
  LVSDT->setObjectName(QStringLiteral("LVSDT"));
  LVSDT->setAccessibleName(tr("Samples"));
  LVSDT->setColumnCount(2);
  LVSDT->setHeaderLabels({tr("Name"), tr("Size")});
  LVSDT->header()->resizeSection(0, 130);
  LVSDT->header()->resizeSection(1, 60);
  LVSDT->header()->setSectionsMovable(false);
  LVSDT->header()->setStretchLastSection(false);
  LVSDT->setRootIsDecorated(false);
  LVSDT->setUniformRowHeights(true);
  LVSDT->setSelectionMode(QAbstractItemView::SingleSelection);
  LVSDT->setSelectionBehavior(QAbstractItemView::SelectRows);
  LVSDT->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Wide enough for both columns beside a vertical scroll bar, and no wider.
  LVSDT->setFixedWidth(130 + 60 + 2 * LVSDT->frameWidth() + LVSDT->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  LVSDT->setMinimumHeight(260);
  // The selection stays visible while the list does not have the focus.
  QPalette palette = LVSDT->palette();
  for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  LVSDT->setPalette(palette);

  BLoad = NewButton(this, "BLoad", tr("&Load"), true);
  BImport = NewButton(this, "BImport", tr("&Import"), false);
  BExport = NewButton(this, "BExport", tr("&Export"), false);
  BPlay = NewButton(this, "BPlay", tr("&Play"), false);
  BStop = NewButton(this, "BStop", tr("&Stop"), false);
  BClose = NewButton(this, "BClose", tr("&Close"), true);

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(false);
  status_text_ = new QLabel(StatusBar);
  status_text_->setAccessibleName(tr("Status"));
  // A long message (a damaged sample's reason names the bank) must not widen the fixed dialog;
  // what does not fit is in the tooltip.
  status_text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  StatusBar->addWidget(status_text_, 1);

  PlayTimer = new QTimer(this);
  PlayTimer->setObjectName(QStringLiteral("PlayTimer"));
  PlayTimer->setInterval(kPlayTimerInterval);

  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {BLoad, BImport, BExport, BPlay, BStop, BClose}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* body = new QHBoxLayout;
  body->addWidget(LVSDT, 1);
  body->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  body->setContentsMargins(8, 8, 8, 8);
  body->setSpacing(8);
  layout->addLayout(body, 1);
  layout->addWidget(StatusBar);
  // A fixed border: the dialog keeps the size its contents ask for.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(BLoad, &QPushButton::clicked, this, [this] { Run("BLoadClick", &TFKestrelSDT::BLoadClick); });
  connect(BImport, &QPushButton::clicked, this, [this] { Run("BImportClick", &TFKestrelSDT::BImportClick); });
  connect(BExport, &QPushButton::clicked, this, [this] { Run("BExportClick", &TFKestrelSDT::BExportClick); });
  connect(BPlay, &QPushButton::clicked, this, [this] { Run("BPlayClick", &TFKestrelSDT::BPlayClick); });
  connect(BStop, &QPushButton::clicked, this, [this] { Run("BStopClick", &TFKestrelSDT::BStopClick); });
  connect(BClose, &QPushButton::clicked, this, &QDialog::reject);
  // A keyboard selection enables the buttons as a click does.
  connect(LVSDT, &QTreeWidget::itemSelectionChanged, this, [this] { Run("LVSDTClick", &TFKestrelSDT::LVSDTClick); });
  connect(PlayTimer, &QTimer::timeout, this, [this] { Run("PlayTimerTimer", &TFKestrelSDT::PlayTimerTimer); });
  PressFocusedButtonOnReturn(this);
}

TFKestrelSDT::~TFKestrelSDT() {
  // The studio may end with the dialog open; the audio device is released all the same.
  if (audio_used_) ReleaseAudio();
}

void TFKestrelSDT::Run(const char* name, void (TFKestrelSDT::*handler)()) {
  run_(QLatin1String(name), [this, handler] { (this->*handler)(); });
}

QString TFKestrelSDT::StatusText() const { return status_text_->text(); }
void TFKestrelSDT::SetStatus(const QString& text) {
  status_text_->setText(text);
  status_text_->setToolTip(text);
  status_text_->setAccessibleDescription(text);
}

int TFKestrelSDT::SelectedIndex() const {
  const QList<QTreeWidgetItem*> selected = LVSDT->selectedItems();
  if (selected.isEmpty()) return -1;
  bool ok = false;
  const int index = selected.first()->data(0, kIndexRole).toInt(&ok);
  return ok && index >= 0 && static_cast<size_t>(index) < bank_.Count() ? index : -1;
}

void TFKestrelSDT::showEvent(QShowEvent* event) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  QDialog::showEvent(event);
  if (!event->spontaneous()) Run("FormShow", &TFKestrelSDT::FormShow);
}

void TFKestrelSDT::done(int result) {
  Run("FormClose", &TFKestrelSDT::FormClose);
  QDialog::done(result);
}

void TFKestrelSDT::FormShow() {
  LVSDT->clear();
  bank_ = SoundBank{};
  BImport->setEnabled(false);
  BExport->setEnabled(false);
}

void TFKestrelSDT::FillSampleList() {
  const QSignalBlocker quiet(LVSDT);  // the refill itself is no click in the list
  LVSDT->clear();
  QList<QTreeWidgetItem*> rows;
  for (size_t i = 0; i < bank_.Count(); ++i) {
    const TSDT_Entry& entry = bank_.Entries[i];
    auto* row = new QTreeWidgetItem({SampleName(entry), QString::number(entry.DataSize)});
    row->setData(0, kIndexRole, static_cast<int>(i));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    rows << row;
  }
  LVSDT->addTopLevelItems(rows);
  BPlay->setEnabled(!LVSDT->selectedItems().isEmpty());
}

void TFKestrelSDT::LVSDTClick() {
  if (LVSDT->topLevelItemCount() == 0) return;
  const bool selected = !LVSDT->selectedItems().isEmpty();
  BExport->setEnabled(selected);
  BImport->setEnabled(selected);
  BPlay->setEnabled(selected);
}

void TFKestrelSDT::BLoadClick() {
  FileDialogRequest request;
  request.objectName = QStringLiteral("ODSDT");
  request.title = tr("Load a SDT File");
  request.filter = QStringLiteral("SDT Files (*.SDT)|*.SDT");
  request.startDirectory = settings_.MASInitialDir;
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen) return;
  BusyCursor busy;
  repaint();
  try {
    LoadSoundBank(bank_, NativePath(*chosen));
  } catch (...) {
    // The bank is emptied by a failed load; the list shows so, never rows of the bank before.
    FillSampleList();
    throw;
  }
  FillSampleList();
  // The first sample is ready for Play or Export at once, by keyboard as by mouse.
  if (LVSDT->topLevelItemCount() > 0) {
    LVSDT->setCurrentItem(LVSDT->topLevelItem(0));
    LVSDT->setFocus();
  }
  settings_.MASInitialDir = FolderWithSeparator(*chosen);
}

void TFKestrelSDT::BExportClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  FileDialogRequest request;
  request.objectName = QStringLiteral("SDMP2");
  request.title = tr("Export a MPEG-2 File");
  request.filter = QStringLiteral("MPEG-2 Files (*.MP2)|*.MP2");
  request.startDirectory = settings_.BMPInitialDir;
  request.proposedName = SafeFileName(SampleName(bank_.Entries[static_cast<size_t>(index)]));
  request.defaultSuffix = QStringLiteral("MP2");
  std::optional<QString> chosen = dialogs_.SaveFile(request);
  if (!chosen) return;
  QString path = *chosen;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".MP2");
  BusyCursor busy;
  repaint();
  try {
    const std::string target = NativePath(path);
    // Writing the sample over the bank it comes from would destroy the bank.
    if (IsSameFile(target, bank_.Path)) throw EInOutError(FileErrorKind::AccessDenied, target);
    const std::vector<uint8_t> data = ReadSampleData(bank_, static_cast<size_t>(index));
    ReplaceFileContents(target, data.data(), data.size());
    settings_.BMPInitialDir = FolderWithSeparator(path);
  } catch (const std::exception& e) {
    const QString reason = ExportFailureReason(e);
    dialogs_.ShowMessage(MessageIcon::Error, QString::fromLatin1(kStudioName),
                         QString::fromLatin1(kErrorExportingMp2) +
                             (reason.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + reason));
  }
}

void TFKestrelSDT::BImportClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  QString proposed = SafeFileName(SampleName(bank_.Entries[static_cast<size_t>(index)]));
  if (!proposed.toUpper().contains(QStringLiteral(".MP2"))) proposed += QStringLiteral(".MP2");
  FileDialogRequest request;
  request.objectName = QStringLiteral("ODMP2");
  request.title = tr("Import a MPEG-2 File");
  request.filter = QStringLiteral("MPEG-2 Files (*.MP2)|*.MP2");
  request.startDirectory = settings_.BMPInitialDir;
  request.proposedName = proposed;
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen || !FileExists(NativePath(*chosen))) return;

  // From here on the list is refilled on every path, so that it shows the bank as it now is.
  struct Refill {
    TFKestrelSDT* dialog;
    ~Refill() { dialog->FillSampleList(); }
  } refill{this};
  BusyCursor busy;
  // A file that cannot be read goes to the error dialog like one that cannot be opened: either
  // way nothing was written, and the user learns why.
  const std::vector<uint8_t> data = ReadWholeFile(NativePath(*chosen));
  ReplaceSampleData(bank_, static_cast<size_t>(index), data);
}

void TFKestrelSDT::BPlayClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  BusyCursor busy;
  SetStatus(QString::fromLatin1(kLoadingSample));
  try {
    std::vector<uint8_t> data = ReadSampleData(bank_, static_cast<size_t>(index));
    // Every playback starts from a newly opened output device.
    audio_.Stop();
    audio_.Free();
    audio_used_ = true;
    if (!audio_.Init(-1, kOutputFrequency, kInitFlags, this)) {
      SetStatus(QString::fromLatin1(kBassInitFailed));
      return;
    }
    audio_.Start();
    audio_.SampleFree(sample_);
    // The library keeps its own copy; `data` goes when this returns.
    sample_ = audio_.SampleLoad(-1, data.data(), 0, static_cast<uint32_t>(data.size()), 1, 0);
    if (sample_ == 0) {
      SetStatus(QString::fromLatin1(kBassLoadFailed));
      return;
    }
    PlayTimer->start();
    channel_ = audio_.SamplePlay(sample_);
    if (channel_ != 0) SetStatus(QString::fromLatin1(kPlayingSample));
  } catch (const std::exception& e) {
    SetStatus(QString::fromLocal8Bit(e.what()));
  }
}

void TFKestrelSDT::PlayTimerTimer() {
  playing_ = audio_.ChannelIsActive(channel_) == audio::BASS_ACTIVE_PLAYING;
  BStop->setEnabled(playing_);
  BPlay->setEnabled(!playing_);
  BImport->setEnabled(!playing_);
  BExport->setEnabled(!playing_);
  LVSDT->setEnabled(!playing_);
  if (!playing_) {
    PlayTimer->stop();
    SetStatus(QString());
  }
}

void TFKestrelSDT::BStopClick() {
  audio_.SampleStop(sample_);
  // Stop is enabled only while the flag is set, so the timer runs on and its next tick finds the
  // channel silent and restores the controls.
  if (!playing_)
    PlayTimer->stop();
  else if (!PlayTimer->isActive())
    PlayTimer->start();
}

void TFKestrelSDT::ReleaseAudio() {
  audio_.SampleStop(sample_);
  audio_.SampleFree(sample_);
  audio_.Stop();
  audio_.Free();
  sample_ = 0;
  channel_ = 0;
  audio_used_ = false;
}

void TFKestrelSDT::FormClose() {
  ReleaseAudio();
  // The next opening starts idle, not with the controls of a playback that has ended.
  PlayTimer->stop();
  playing_ = false;
  BStop->setEnabled(false);
  LVSDT->setEnabled(true);
  BPlay->setEnabled(false);
  SetStatus(QString());
}

}  // namespace kestrel::studio
