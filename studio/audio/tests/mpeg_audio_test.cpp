#include "studio/audio/mpeg_audio.h"

#include <gtest/gtest.h>

#include "archive/testing/mas_builder.h"
#include "studio/audio/testing/tone.h"

namespace kestrel::audio {
namespace {

using testing::MeasuredFrequency;
using testing::Tone;

TEST(MpegAudio, LayerTwoRoundTripKeepsFormatLengthAndPitch) {
  struct Case {
    int rate;
    ChannelMode mode;
    int bitRate;
    int version;
  };
  const Case cases[] = {
      {44100, ChannelMode::Stereo, 192, 1},
      {32000, ChannelMode::JointStereo, 128, 1},
      {22050, ChannelMode::Mono, 64, 2},
      {24000, ChannelMode::DualChannel, 96, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DescribeFormat(c.rate, 0) + ModeName(c.mode));
    const int channels = c.mode == ChannelMode::Mono ? 1 : 2;
    // Two channels carry different pitches: a lost, doubled or swapped channel shows.
    const PcmAudio tone = channels == 2 ? testing::TwoTones(c.rate, 440, 660, 0.5) : Tone(c.rate, 1, 440, 0.5);
    const std::vector<uint8_t> mp2 = EncodeMp2(tone, {c.mode, c.bitRate});
    MpegStreamInfo info;
    const PcmAudio back = DecodeMpegAudio(mp2.data(), mp2.size(), &info);
    EXPECT_EQ(info.Layer, 2);
    EXPECT_EQ(info.Version, c.version);
    EXPECT_EQ(info.SampleRate, c.rate);
    EXPECT_EQ(info.Mode, c.mode);
    EXPECT_EQ(info.BitRate, c.bitRate);
    EXPECT_EQ(back.SampleRate, c.rate);
    EXPECT_EQ(back.Channels, channels);
    // The whole tone is heard, end included; the stream is whole layer II frames of 1152.
    EXPECT_NEAR(static_cast<double>(testing::FindAudible(back.Samples, channels).Frames()),
                static_cast<double>(tone.Frames()), 8);
    EXPECT_EQ(back.Frames() % 1152, 0u);
    EXPECT_LE(back.Frames(), tone.Frames() + 2 * 1152);
    EXPECT_NEAR(MeasuredFrequency(back), 440, 3);
    if (channels == 2) EXPECT_NEAR(MeasuredFrequency(back, 1), 660, 4);
  }
}

TEST(MpegAudio, RefusesWhatIsNotLayerTwoOrNotAudio) {
  const PcmAudio stereo = Tone(44100, 2, 440, 0.1);
  EXPECT_THROW(EncodeMp2(stereo, {ChannelMode::Mono, 96}), AudioFormatError);   // channels differ
  EXPECT_THROW(EncodeMp2(Tone(11025, 1, 440, 0.1), {ChannelMode::Mono, 32}), AudioFormatError);
  try {
    EncodeMp2(stereo, {ChannelMode::Stereo, 8});  // no such MPEG-1 rate
    ADD_FAILURE() << "encoded";
  } catch (const AudioFormatError& e) {
    EXPECT_STREQ(e.what(), "MPEG audio layer II cannot be encoded as 44100 Hz stereo (stereo) at 8 kbit/s.");
  }

  const std::vector<uint8_t> noise = kestrel::testing::NoiseBytes(4000, 7);
  EXPECT_THROW(DecodeMpegAudio(noise.data(), noise.size()), AudioFormatError);
  EXPECT_THROW(DecodeMpegAudio(nullptr, 0), AudioFormatError);
}

TEST(MpegAudio, JunkAroundTheStreamIsSkipped) {
  const std::vector<uint8_t> mp2 = EncodeMp2(Tone(22050, 1, 440, 0.3), {ChannelMode::Mono, 64});
  std::vector<uint8_t> wrapped(100, 0);  // a tag or padding before the first frame
  wrapped.insert(wrapped.end(), mp2.begin(), mp2.end());
  wrapped.insert(wrapped.end(), 37, 0x55);
  const PcmAudio plain = DecodeMpegAudio(mp2.data(), mp2.size());
  const PcmAudio back = DecodeMpegAudio(wrapped.data(), wrapped.size());
  EXPECT_EQ(back.Samples, plain.Samples);
}

// A stream that changes its rate or channels part-way, or is damaged part-way, gives the sound
// before that point whole; what follows a change is not played at the wrong rate.
TEST(MpegAudio, DecodingEndsWhereTheFormatChangesAndKeepsWhatCameBeforeDamage) {
  const std::vector<uint8_t> first = EncodeMp2(Tone(22050, 1, 440, 0.5), {ChannelMode::Mono, 64});
  const PcmAudio plain = DecodeMpegAudio(first.data(), first.size());
  for (const PcmAudio& other : {Tone(44100, 1, 440, 0.5), Tone(22050, 2, 440, 0.5)}) {
    SCOPED_TRACE(DescribeFormat(other.SampleRate, other.Channels));
    std::vector<uint8_t> joined = first;
    const std::vector<uint8_t> second =
        EncodeMp2(other, {other.Channels == 2 ? ChannelMode::Stereo : ChannelMode::Mono, 64});
    joined.insert(joined.end(), second.begin(), second.end());
    const PcmAudio back = DecodeMpegAudio(joined.data(), joined.size());
    EXPECT_EQ(back.SampleRate, 22050);
    EXPECT_EQ(back.Channels, 1);
    EXPECT_EQ(back.Samples, plain.Samples);
  }

  // Noise over the middle of the stream: everything before it decodes as it did whole.
  std::vector<uint8_t> damaged = first;
  const size_t middle = damaged.size() / 2;
  const std::vector<uint8_t> noise = kestrel::testing::NoiseBytes(400, 9);
  std::copy(noise.begin(), noise.end(), damaged.begin() + static_cast<std::ptrdiff_t>(middle));
  const PcmAudio back = DecodeMpegAudio(damaged.data(), damaged.size());
  EXPECT_EQ(back.SampleRate, 22050);
  EXPECT_EQ(back.Channels, 1);
  const size_t framesBefore = middle / (first.size() / (plain.Frames() / 1152)) * 1152;  // whole frames before the noise
  ASSERT_GE(back.Samples.size(), framesBefore - 1152);
  EXPECT_TRUE(std::equal(back.Samples.begin(), back.Samples.begin() + static_cast<std::ptrdiff_t>(framesBefore - 1152),
                         plain.Samples.begin()));
  EXPECT_LE(back.Frames(), plain.Frames());
}

}  // namespace
}  // namespace kestrel::audio
