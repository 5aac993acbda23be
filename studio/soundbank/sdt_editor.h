// The sound bank editor `TFKestrelSDT`: lists a ".SDT" bank's samples, plays the selected one,
// and exchanges a sample's data with an ".MP2" file, rewriting the bank at once.
//
// The studio creates it once and shows it modally. It plays through an AudioLibrary, which tests
// replace, and polls the playback every 50 ms on the interface thread; the sound itself runs on
// the audio library's own thread.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "studio/audio/bass_audio.h"
#include "studio/soundbank/sound_bank.h"

class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;
class QTreeWidget;

namespace kestrel::studio {

class StudioDialogs;
struct StudioSettings;

inline constexpr char kErrorExportingMp2[] = "Error exporting MP2 file.";
inline constexpr char kLoadingSample[] = "Loading sample ...";
inline constexpr char kPlayingSample[] = "Playing sample ...";
inline constexpr char kBassInitFailed[] = "BASS: Initialization failed.";
inline constexpr char kBassLoadFailed[] = "BASS: Sample loading failed.";

class TFKestrelSDT : public QDialog {
  Q_OBJECT
 public:
  // Runs one event handler; an error it does not handle goes to the application error dialog.
  using CommandRunner = std::function<void(const QString& name, const std::function<void()>& handler)>;

  // "MASInitialDir" and "BMPInitialDir" are read from and written to `settings`, which the main
  // window owns and stores.
  TFKestrelSDT(StudioDialogs& dialogs, StudioSettings& settings, audio::AudioLibrary& audio, CommandRunner run,
               QWidget* parent = nullptr);
  ~TFKestrelSDT() override;

  const SoundBank& Bank() const { return bank_; }
  bool Playing() const { return playing_; }
  QString StatusText() const;

  // Event handlers, named after their control and event.
  void FormShow();
  void FormClose();
  void BLoadClick();
  void BImportClick();
  void BExportClick();
  void BPlayClick();
  void BStopClick();
  void LVSDTClick();
  void PlayTimerTimer();
  void FillSampleList();

  QTreeWidget* LVSDT = nullptr;
  QPushButton* BLoad = nullptr;
  QPushButton* BImport = nullptr;
  QPushButton* BExport = nullptr;
  QPushButton* BPlay = nullptr;
  QPushButton* BStop = nullptr;
  QPushButton* BClose = nullptr;
  QStatusBar* StatusBar = nullptr;
  QTimer* PlayTimer = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 public slots:
  // Every way of closing (Close, Escape, the close box) ends here.
  void done(int result) override;

 private:
  void Run(const char* name, void (TFKestrelSDT::*handler)());
  int SelectedIndex() const;
  void SetStatus(const QString& text);
  void ReleaseAudio();

  StudioDialogs& dialogs_;
  StudioSettings& settings_;
  audio::AudioLibrary& audio_;
  CommandRunner run_;
  SoundBank bank_;
  audio::HSAMPLE sample_ = 0;
  audio::HCHANNEL channel_ = 0;
  bool playing_ = false;
  bool audio_used_ = false;
  QLabel* status_text_ = nullptr;
};

}  // namespace kestrel::studio
