// kestrel-cli's WAV exchange for sound banks: a tone goes in as a WAV file, is encoded in the
// sample's own format, and comes out again; Debian's mpg123 checks the encoding independently.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/testing/file_size_limit.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"
#include "cli_runner.h"
#include "studio/audio/mpeg_audio.h"
#include "studio/audio/testing/tone.h"
#include "studio/audio/wav_file.h"
#include "studio/soundbank/testing/bank_builder.h"

namespace kestrel {
namespace {

using audio::ChannelMode;
using audio::testing::FindAudible;
using audio::testing::MeasuredFrequency;
using audio::testing::Tone;
using testing::NoiseBytes;
using testing::ReadFileBytes;
using testing::RunCli;
using testing::TempDir;
using testing::TestBank;

std::vector<uint8_t> Mp2Tone(int rate, ChannelMode mode, int bitRate, double hz, double seconds) {
  return audio::EncodeMp2(Tone(rate, mode == ChannelMode::Mono ? 1 : 2, hz, seconds), {mode, bitRate});
}

// An engine sample at 22050 Hz mono, a sample that is not MPEG audio, a 44100 Hz joint stereo one.
TestBank Bank() {
  TestBank b;
  b.Samples = {{"ENGINE", Mp2Tone(22050, ChannelMode::Mono, 64, 440, 1.0), {1, 2, 3, 4}},
               {"NOISE", NoiseBytes(900, 2)},
               {"CROWD.MP2", Mp2Tone(44100, ChannelMode::JointStereo, 192, 660, 0.3)}};
  return b;
}

void WriteWav(const std::string& path, const audio::PcmAudio& pcm) {
  testing::WriteFileBytes(path, audio::EncodeWav(pcm));
}
audio::PcmAudio ReadWavFile(const std::string& path) { return audio::ReadWav(ReadFileBytes(path)); }

TEST(SdtWavCommands, ToneGoesInAndComesOutWithItsLengthAndPitch) {
  TempDir dir;
  TestBank bank = Bank();
  bank.WriteTo(dir / "BANK.SDT");
  struct Case {
    size_t index;
    int rate;
    int channels;
    ChannelMode mode;
    int bitRate;
  };
  const Case cases[] = {{0, 22050, 1, ChannelMode::Mono, 64}, {2, 44100, 2, ChannelMode::JointStereo, 192}};
  for (const Case& c : cases) {
    SCOPED_TRACE("sample " + std::to_string(c.index));
    const audio::PcmAudio tone = Tone(c.rate, c.channels, 550, 0.8);
    WriteWav(dir / "new.wav", tone);
    auto run = RunCli(dir, {"sdt-import-wav", "BANK.SDT", std::to_string(c.index), "new.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    // Only that sample changed, and it is layer II in the format it had.
    run = RunCli(dir, {"sdt-export", "BANK.SDT", std::to_string(c.index), "new.mp2"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> mp2 = ReadFileBytes(dir / "new.mp2");
    bank.Samples[c.index].Data = mp2;
    EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), bank.Build());
    audio::MpegStreamInfo info;
    audio::DecodeMpegAudio(mp2.data(), mp2.size(), &info);
    EXPECT_EQ(info.Layer, 2);
    EXPECT_EQ(info.SampleRate, c.rate);
    EXPECT_EQ(info.Mode, c.mode);
    EXPECT_EQ(info.BitRate, c.bitRate);

    run = RunCli(dir, {"sdt-wav", "BANK.SDT", std::to_string(c.index), "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    const audio::PcmAudio out = ReadWavFile(dir / "out.wav");
    EXPECT_EQ(out.SampleRate, c.rate);
    EXPECT_EQ(out.Channels, c.channels);
    EXPECT_NEAR(static_cast<double>(FindAudible(out.Samples, out.Channels).Frames()),
                static_cast<double>(tone.Frames()), 8);
    EXPECT_NEAR(MeasuredFrequency(out), 550, 3);

    // An independent decoder hears the same tone.
    const testing::ProgramRun mpg123 =
        testing::RunProgram("/usr/bin/mpg123", {"-q", "-w", dir / "mpg123.wav", dir / "new.mp2"}, {});
    ASSERT_EQ(mpg123.status, 0) << mpg123.err;
    const audio::PcmAudio decoded = ReadWavFile(dir / "mpg123.wav");
    EXPECT_EQ(decoded.SampleRate, c.rate);
    EXPECT_NEAR(static_cast<double>(FindAudible(decoded.Samples, decoded.Channels).Frames()),
                static_cast<double>(tone.Frames()), 8);
    EXPECT_NEAR(MeasuredFrequency(decoded), 550, 3);
  }
}

TEST(SdtWavCommands, RefusalsSayWhyAndLeaveTheBankAsItWas) {
  TempDir dir;
  Bank().WriteTo(dir / "BANK.SDT");
  WriteWav(dir / "fast.wav", Tone(44100, 1, 440, 0.2));
  WriteWav(dir / "stereo.wav", Tone(22050, 2, 440, 0.2));
  WriteWav(dir / "good.wav", Tone(22050, 1, 440, 0.2));
  WriteWav(dir / "empty.wav", audio::PcmAudio{22050, 1, {}});
  testing::WriteFileBytes(dir / "song.mp3", NoiseBytes(100, 1));
  std::vector<uint8_t> cut = audio::EncodeWav(Tone(22050, 1, 440, 1.0));
  cut.resize(cut.size() / 8);  // the header still claims the whole second
  testing::WriteFileBytes(dir / "cut.wav", cut);
  const std::vector<testing::CliRefusal> cases = {
      {{"sdt-import-wav", "BANK.SDT", "0", "cut.wav"}, 1, "cut.wav: This is not a WAV file we can read: it is cut short"},
      {{"sdt-import-wav", "BANK.SDT", "0", "fast.wav"},
       1,
       "fast.wav is 44100 Hz mono, but sample 0 (\"ENGINE\") is 22050 Hz mono; convert the WAV file"},
      {{"sdt-import-wav", "BANK.SDT", "0", "stereo.wav"}, 1, "stereo.wav is 22050 Hz stereo, but sample 0"},
      {{"sdt-import-wav", "BANK.SDT", "0", "song.mp3"}, 1, "song.mp3: This is not a WAV file we can read"},
      {{"sdt-import-wav", "BANK.SDT", "0", "empty.wav"}, 1, "empty.wav holds no sound"},
      {{"sdt-import-wav", "BANK.SDT", "1", "good.wav"}, 1, "sample 1 (\"NOISE\") cannot be decoded"},
      {{"sdt-import-wav", "BANK.SDT", "3", "good.wav"}, 1, "There is no sample 3"},
      {{"sdt-import-wav", "BANK.SDT", "0", "missing.wav"}, 1, "File not found"},
      {{"sdt-wav", "BANK.SDT", "1", "out.wav"}, 1, "sample 1 (\"NOISE\") cannot be decoded"},
      {{"sdt-wav", "BANK.SDT", "0", "BANK.SDT"}, 1, "is the file being read"},
      {{"sdt-wav", "BANK.SDT", "x", "out.wav"}, 2, "is not a sample index"},
      {{"sdt-import-wav", "BANK.SDT", "0"}, 2, "usage: kestrel-cli sdt-import-wav BANK.SDT INDEX IN.wav"},
  };
  for (const testing::CliRefusal& c : cases) {
    SCOPED_TRACE(testing::CommandLine(c.args));
    testing::ExpectRefusal(dir, c);
    EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), Bank().Build());
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
  }
}

TEST(SdtWavCommands, BankThatCannotBeWrittenIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  Bank().WriteTo(dir / "BANK.SDT");
  WriteWav(dir / "good.wav", Tone(22050, 1, 440, 0.2));
  // The folder is open to all: only the bank's own protection can stop the rename over it.
  namespace fs = std::filesystem;
  fs::permissions(dir.Path(), fs::perms::all);
  fs::permissions(dir / "BANK.SDT", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  // Root writes anything: as an ordinary user, whom the protection stops.
  const std::vector<std::string> command =
      testing::UnprivilegedCommand(KESTREL_CLI, {"sdt-import-wav", "BANK.SDT", "0", "good.wav"});
  const auto run = testing::RunProgram(command[0], {command.begin() + 1, command.end()}, {"", dir.Path(), {}});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("BANK.SDT"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), Bank().Build());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);  // nothing left beside
}

TEST(SdtWavCommands, OutputMayBeAPipe) {
  TempDir dir;
  Bank().WriteTo(dir / "BANK.SDT");
  const auto wav = RunCli(dir, {"sdt-wav", "BANK.SDT", "0", "/dev/stdout"});
  ASSERT_EQ(wav.status, 0) << wav.err;
  const audio::PcmAudio sound = audio::ReadWav(std::vector<uint8_t>(wav.out.begin(), wav.out.end()));
  EXPECT_EQ(sound.SampleRate, 22050);
  EXPECT_NEAR(MeasuredFrequency(sound), 440, 3);
  const auto mp2 = RunCli(dir, {"sdt-export", "BANK.SDT", "0", "/dev/stdout"});
  ASSERT_EQ(mp2.status, 0) << mp2.err;
  EXPECT_EQ(std::vector<uint8_t>(mp2.out.begin(), mp2.out.end()), Bank().Samples[0].Data);
}

TEST(SdtWavCommands, FailedWriteKeepsAnEarlierFileOfThatName) {
  TempDir dir;
  Bank().WriteTo(dir / "BANK.SDT");
  const std::vector<uint8_t> earlier = NoiseBytes(50, 8);
  for (const char* command : {"sdt-wav", "sdt-export"}) {
    SCOPED_TRACE(command);
    testing::WriteFileBytes(dir / "earlier.out", earlier);
    testing::ProgramRun run;
    {
      testing::FileSizeLimit limit(200);  // the disk fills after 200 bytes; kestrel-cli inherits it
      run = RunCli(dir, {command, "BANK.SDT", "0", "earlier.out"});
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Disk full"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(dir / "earlier.out"), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 2);
  }
}

}  // namespace
}  // namespace kestrel
