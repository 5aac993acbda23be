// The audio output, recorded by SDL's disk driver: the file receives the 22050 Hz 16-bit stereo
// output in real time, silence included.
#include "studio/audio/bass_audio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "archive/testing/mas_builder.h"
#include "studio/audio/mpeg_audio.h"
#include "studio/audio/testing/tone.h"

namespace kestrel::audio {
namespace {

using namespace std::chrono_literals;
using testing::AudibleSpan;
using testing::FindAudible;
using testing::MeasuredFrequency;
using testing::Tone;
using Clock = std::chrono::steady_clock;

constexpr int kOutputRate = 22050;

class BassAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", Recording().c_str(), 1);
  }
  void TearDown() override { BASS_Free(); }

  std::string Recording() const { return dir_ / "output.raw"; }
  std::vector<int16_t> Recorded() const {
    const std::vector<uint8_t> bytes = kestrel::testing::ReadFileBytes(Recording());
    std::vector<int16_t> values(bytes.size() / 2);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return values;
  }
  // Loads a 440 Hz tone, encoded as layer II at 44100 Hz mono, from a buffer freed right after.
  HSAMPLE LoadTone(double seconds) {
    std::vector<uint8_t> mp2 = EncodeMp2(Tone(44100, 1, 440, seconds), {ChannelMode::Mono, 96});
    const HSAMPLE sample = BASS_SampleLoad(-1, mp2.data(), 0, static_cast<uint32_t>(mp2.size()), 1, 0);
    std::fill(mp2.begin(), mp2.end(), 0);
    mp2 = {};
    return sample;
  }

  // Frames of the recording up to its last audible one, waiting until there are at least `frames`
  // (the output runs in real time, and a busy machine may hold it back). 0 when that never comes.
  size_t WaitForAudibleFrames(size_t frames) const {
    const auto deadline = Clock::now() + 20s;
    while (Clock::now() < deadline) {
      const size_t heard = FindAudible(Recorded(), 2).end;
      if (heard >= frames) return heard;
      std::this_thread::sleep_for(5ms);
    }
    return 0;
  }
  // Waits until the output has recorded `frames` more frames of anything, silence included.
  void WaitForOutputFrames(size_t frames) const {
    const size_t target = Recorded().size() / 2 + frames;
    const auto deadline = Clock::now() + 20s;
    while (Recorded().size() / 2 < target && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
  }

  kestrel::testing::TempDir dir_;
};

TEST_F(BassAudioTest, PlaysTheWholeSampleAtTheOutputRate) {
  ASSERT_NE(BASS_Init(-1, kOutputRate, 32, nullptr), 0);
  EXPECT_EQ(BASS_Init(-1, kOutputRate, 32, nullptr), 0);  // already open
  BASS_Start();
  const HSAMPLE sample = LoadTone(0.6);
  ASSERT_NE(sample, 0u);
  const HCHANNEL channel = BASS_SamplePlay(sample);
  ASSERT_NE(channel, 0u);

  // The output runs no faster than real time, so the sample plays at least its 0.6 s; how much
  // longer is up to the machine's load, and the recording, not the clock, tells what was played.
  const auto started = Clock::now();
  EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_PLAYING);
  while (BASS_ChannelIsActive(channel) == BASS_ACTIVE_PLAYING && Clock::now() - started < 20s)
    std::this_thread::sleep_for(5ms);
  EXPECT_GT(std::chrono::duration<double>(Clock::now() - started).count(), 0.55);
  EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_STOPPED) << "still playing after 20 s";
  EXPECT_NE(BASS_Free(), 0);

  const std::vector<int16_t> recorded = Recorded();
  const AudibleSpan span = FindAudible(recorded, 2);
  // 0.6 s at 22050 Hz is 13230 frames; the sine's quiet first and last samples and the encoder's
  // ramp take a little off the ends.
  EXPECT_NEAR(static_cast<double>(span.Frames()), 0.6 * kOutputRate, 0.02 * kOutputRate);
  EXPECT_NEAR(MeasuredFrequency(recorded, 2, kOutputRate, span.first, span.end), 440, 3);
  // Both channels carry the mono sample.
  for (size_t i = span.first; i < span.end; i += 97) ASSERT_EQ(recorded[2 * i], recorded[2 * i + 1]);
}

// Stopping or freeing the sample that plays silences it at once: after a quarter of a second of the
// 3 s tone has been recorded, the output goes on for half a second more and nothing more of the
// tone is heard than what the output had already taken in (a buffer or two).
TEST_F(BassAudioTest, StoppingOrFreeingThePlayingSampleSilencesItAtOnce) {
  for (const bool free : {false, true}) {
    SCOPED_TRACE(free ? "BASS_SampleFree" : "BASS_SampleStop");
    ASSERT_NE(BASS_Init(-1, kOutputRate, 32, nullptr), 0);
    const HSAMPLE sample = LoadTone(3.0);
    const HCHANNEL channel = BASS_SamplePlay(sample);
    const size_t heardBefore = WaitForAudibleFrames(kOutputRate / 4);
    ASSERT_GT(heardBefore, 0u) << "the tone was never heard";
    EXPECT_NE(free ? BASS_SampleFree(sample) : BASS_SampleStop(sample), 0);
    EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_STOPPED);
    WaitForOutputFrames(kOutputRate / 2);
    const size_t heard = FindAudible(Recorded(), 2).end;
    if (free) {
      EXPECT_EQ(BASS_SamplePlay(sample), 0u) << "a freed sample played";
    }
    BASS_Free();
    EXPECT_LT(heard, heardBefore + kOutputRate / 4);
    std::filesystem::remove(Recording());
  }
}

// A stereo sample keeps its channels apart: left and right at their own pitch, not swapped.
TEST_F(BassAudioTest, StereoSampleKeepsLeftAndRight) {
  ASSERT_NE(BASS_Init(-1, kOutputRate, 32, nullptr), 0);
  std::vector<uint8_t> mp2 = EncodeMp2(testing::TwoTones(44100, 440, 660, 0.4), {ChannelMode::Stereo, 192});
  const HSAMPLE sample = BASS_SampleLoad(-1, mp2.data(), 0, static_cast<uint32_t>(mp2.size()), 1, 0);
  const HCHANNEL channel = BASS_SamplePlay(sample);
  ASSERT_NE(channel, 0u);
  const auto started = Clock::now();
  while (BASS_ChannelIsActive(channel) == BASS_ACTIVE_PLAYING && Clock::now() - started < 20s)
    std::this_thread::sleep_for(5ms);
  BASS_Free();
  const std::vector<int16_t> recorded = Recorded();
  const AudibleSpan span = FindAudible(recorded, 2);
  EXPECT_NEAR(MeasuredFrequency(recorded, 2, kOutputRate, span.first, span.end, 0), 440, 3);
  EXPECT_NEAR(MeasuredFrequency(recorded, 2, kOutputRate, span.first, span.end, 1), 660, 4);
}

TEST_F(BassAudioTest, LoadsASampleFromAFileByPath) {
  ASSERT_NE(BASS_Init(-1, kOutputRate, 32, nullptr), 0);
  const std::vector<uint8_t> mp2 = EncodeMp2(Tone(22050, 1, 440, 0.2), {ChannelMode::Mono, 32});
  std::vector<uint8_t> file = kestrel::testing::NoiseBytes(100, 5);  // the sample sits 100 bytes in
  file.insert(file.end(), mp2.begin(), mp2.end());
  const std::string path = dir_ / "sample.bin";
  kestrel::testing::WriteFileBytes(path, file);
  const auto size = static_cast<uint32_t>(mp2.size());
  struct Case {
    const char* what;
    std::string path;
    uint64_t offset;
    uint32_t length;
    bool loads;
  };
  const std::vector<Case> cases = {
      {"the sample's bytes", path, 100, size, true},
      {"length 0: to the end of the file", path, 100, 0, true},
      {"a length past the end is cut to the file", path, 100, size + 1000, true},
      {"offset at the end", path, file.size(), 0, false},
      {"offset past the end", path, file.size() + 1, 0, false},
      {"no such file", dir_ / "missing.mp2", 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HSAMPLE sample = BASS_SampleLoad(0, c.path.c_str(), c.offset, c.length, 1, 0);
    EXPECT_EQ(sample != 0, c.loads);
    if (sample) {
      EXPECT_NE(BASS_SamplePlay(sample), 0u);
    }
  }
}

TEST_F(BassAudioTest, CallsOutsideAnOpenOutputAreHarmless) {
  const auto closedCalls = [](HSAMPLE sample, HCHANNEL channel) {
    EXPECT_EQ(BASS_SampleFree(0), 0);
    EXPECT_EQ(BASS_SampleFree(sample), 0);
    EXPECT_EQ(BASS_SampleStop(sample), 0);
    EXPECT_EQ(BASS_SamplePlay(sample), 0u);
    EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_Start(), 0);
    EXPECT_EQ(BASS_Stop(), 0);
    EXPECT_EQ(BASS_Free(), 0);
  };
  {
    SCOPED_TRACE("before BASS_Init");
    const std::vector<uint8_t> mp2 = EncodeMp2(Tone(22050, 1, 440, 0.1), {ChannelMode::Mono, 32});
    EXPECT_EQ(BASS_SampleLoad(-1, mp2.data(), 0, static_cast<uint32_t>(mp2.size()), 1, 0), 0u);
    closedCalls(1, 2);
  }
  ASSERT_NE(BASS_Init(-1, kOutputRate, 32, nullptr), 0);
  const HSAMPLE sample = LoadTone(2.0);
  const HCHANNEL channel = BASS_SamplePlay(sample);
  ASSERT_NE(channel, 0u);
  {
    SCOPED_TRACE("not MPEG audio, an unknown handle");
    const std::vector<uint8_t> noise = kestrel::testing::NoiseBytes(5000, 3);
    EXPECT_EQ(BASS_SampleLoad(-1, noise.data(), 0, static_cast<uint32_t>(noise.size()), 1, 0), 0u);
    EXPECT_EQ(BASS_SampleFree(sample + 100), 0);
    EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_PLAYING);
  }
  EXPECT_NE(BASS_Stop(), 0);
  EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_STOPPED);
  EXPECT_NE(BASS_Free(), 0);
  {
    SCOPED_TRACE("after BASS_Free, with the handles it released");
    closedCalls(sample, channel);
  }
  // The output opens again, and old handles mean nothing to it.
  ASSERT_NE(BASS_Init(-1, kOutputRate, 32, nullptr), 0);
  EXPECT_EQ(BASS_SamplePlay(sample), 0u);
  EXPECT_EQ(BASS_SampleFree(sample), 0);
  EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_STOPPED);
}

TEST(BassAudioWithoutDevice, InitFailsAndNothingElseDoesHarm) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(BASS_Init(-1, kOutputRate, 32, nullptr), 0);
  EXPECT_EQ(BASS_SampleFree(0), 0);
  EXPECT_EQ(BASS_Stop(), 0);
  EXPECT_EQ(BASS_Free(), 0);
}

}  // namespace
}  // namespace kestrel::audio
