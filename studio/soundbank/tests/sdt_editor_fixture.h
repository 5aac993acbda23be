// The sound bank editor's test fixture: a stand-in audio library whose answers the test sets, and
// an editor over the scripted dialogs of a private world.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/testing/mas_builder.h"
#include "studio/qt_common/application_error_dialog.h"
#include "studio/qt_common/studio_settings.h"
#include "studio/qt_common/testing/private_world_test.h"
#include "studio/soundbank/sdt_editor.h"
#include "studio/soundbank/testing/bank_builder.h"

namespace kestrel::studio::testing {

using kestrel::testing::NoiseBytes;
using kestrel::testing::ReadFileBytes;
using kestrel::testing::TestBank;

// Records every call; answers as the test says.
class FakeAudio : public audio::AudioLibrary {
 public:
  int initResult = 1;
  audio::HSAMPLE loadResult = 7;
  audio::HCHANNEL playResult = 9;
  bool active = false;  // what ChannelIsActive says for the channel last played
  std::vector<std::string> calls;
  std::vector<uint8_t> loaded;  // the bytes SampleLoad was given
  bool waitCursorDuringInit = false;

  int Init(int device, uint32_t freq, uint32_t flags, void* window) override {
    calls.push_back("Init " + std::to_string(device) + " " + std::to_string(freq) + " " + std::to_string(flags) +
                    (window ? " window" : " no window"));
    waitCursorDuringInit = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    return initResult;
  }
  int Start() override { return Record("Start"), 1; }
  audio::HSAMPLE SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length, uint32_t max,
                            uint32_t flags) override {
    calls.push_back("SampleLoad " + std::to_string(mem) + " " + std::to_string(offset) + " " + std::to_string(length) +
                    " " + std::to_string(max) + " " + std::to_string(flags));
    const auto* bytes = static_cast<const uint8_t*>(file);
    loaded.assign(bytes, bytes + length);
    return loadResult;
  }
  audio::HCHANNEL SamplePlay(audio::HSAMPLE sample) override {
    Record("SamplePlay " + std::to_string(sample));
    active = playResult != 0;
    return playResult;
  }
  uint32_t ChannelIsActive(uint32_t channel) override {
    return channel != 0 && channel == playResult && active ? audio::BASS_ACTIVE_PLAYING : audio::BASS_ACTIVE_STOPPED;
  }
  int SampleStop(audio::HSAMPLE sample) override {
    Record("SampleStop " + std::to_string(sample));
    active = false;
    return 1;
  }
  int SampleFree(audio::HSAMPLE sample) override { return Record("SampleFree " + std::to_string(sample)), 1; }
  int Stop() override { return Record("Stop"), 1; }
  int Free() override { return Record("Free"), 1; }

 private:
  void Record(const std::string& call) { calls.push_back(call); }
};

inline TestBank ThreeSamples() {
  TestBank b;
  b.Samples = {
      {"ENGINE_IDLE_0001", NoiseBytes(300, 1)}, {"HORN", NoiseBytes(120, 2)}, {"crash.mp2", NoiseBytes(77, 3)}};
  return b;
}

// A private folder and scripted dialogs as the studio's tests have them; no main window is started.
class SdtEditorTest : public PrivateWorldTest {
 protected:
  void SetUp() override {
    PrivateWorldTest::SetUp();
    editor_ = std::make_unique<TFKestrelSDT>(
        dialogs_, settings_, audio_,
        [this](const QString& name, const std::function<void()>& handler) {
          try {
            handler();
          } catch (...) {
            ReportUnhandledError(dialogs_, name);
          }
        },
        nullptr);
    editor_->show();
  }

  void Answer(const QString& path) { dialogs_.fileAnswers.push_back(path); }
  void Load(const std::string& name) {
    Answer(QPath(name));
    E().BLoad->click();
  }
  void Select(int row) { E().LVSDT->setCurrentItem(E().LVSDT->topLevelItem(row)); }
  QStringList Rows() const {
    QStringList rows;
    for (int i = 0; i < editor_->LVSDT->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = editor_->LVSDT->topLevelItem(i);
      rows << item->text(0) + QLatin1Char('|') + item->text(1);
    }
    return rows;
  }
  // Load, Import, Export, Play, Stop, list: 1 enabled, 0 disabled.
  std::string Controls() const {
    std::string s;
    for (const QWidget* w :
         std::initializer_list<const QWidget*>{E().BLoad, E().BImport, E().BExport, E().BPlay, E().BStop, E().LVSDT})
      s += w->isEnabled() ? '1' : '0';
    return s;
  }
  TFKestrelSDT& E() const { return *editor_; }

  StudioSettings settings_;
  FakeAudio audio_;
  std::unique_ptr<TFKestrelSDT> editor_;
};

}  // namespace kestrel::studio::testing
