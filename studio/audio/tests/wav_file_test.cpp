#include "studio/audio/wav_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "archive/byte_reader.h"
#include "studio/audio/testing/tone.h"

namespace kestrel::audio {
namespace {

TEST(WavFile, WrittenFileIsCanonicalAndReadsBack) {
  PcmAudio pcm;
  pcm.SampleRate = 22050;
  pcm.Channels = 2;
  pcm.Samples = {1, -1, 32767, -32768, 0, 258};
  const std::vector<uint8_t> wav = EncodeWav(pcm);
  ASSERT_EQ(wav.size(), 44u + 12u);
  const std::vector<uint8_t> header(wav.begin(), wav.begin() + 44);
  const std::vector<uint8_t> expected = {'R', 'I', 'F', 'F', 48, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                                         ' ', 16,  0,   0,   0,  1, 0,   2,   0,   0x22, 0x56, 0,   0,   0x88, 0x58,
                                         1,   0,   4,   0,   16, 0, 'd', 'a', 't', 'a',  12,   0,   0,   0};
  EXPECT_EQ(header, expected);
  EXPECT_EQ(wav[54], 2);  // 258, little-endian
  EXPECT_EQ(wav[55], 1);
  const PcmAudio back = ReadWav(wav);
  EXPECT_EQ(back.SampleRate, 22050);
  EXPECT_EQ(back.Channels, 2);
  EXPECT_EQ(back.Samples, pcm.Samples);
}

// A WAV file built chunk by chunk, for the variations other programs write.
std::vector<uint8_t> Riff(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks) {
  ByteWriter w;
  w.Raw("RIFF", 4);
  w.U32(0);
  w.Raw("WAVE", 4);
  for (const auto& [id, body] : chunks) {
    w.Raw(id.data(), 4);
    w.U32(static_cast<uint32_t>(body.size()));
    w.Raw(body.data(), body.size());
    if (body.size() % 2) w.U8(0);
  }
  return std::move(w.Bytes());
}

std::vector<uint8_t> Format(uint16_t code, uint16_t channels, uint32_t rate, uint16_t bits, bool extensible = false) {
  ByteWriter w;
  w.U16(extensible ? 0xFFFE : code);
  w.U16(channels);
  w.U32(rate);
  w.U32(rate * channels * bits / 8);
  w.U16(static_cast<uint16_t>(channels * bits / 8));
  w.U16(bits);
  if (extensible) {
    w.U16(22);
    w.U16(bits);
    w.U32(3);
    w.U16(code);
    w.Raw("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  }
  return std::move(w.Bytes());
}

TEST(WavFile, ReadsWhatOtherWritersProduce) {
  const std::vector<uint8_t> samples = {1, 0, 2, 0, 3, 0, 0xFF, 0xFF, 9};  // four values and a stray byte
  {
    SCOPED_TRACE("odd-sized chunk before the format, extensible header");
    const PcmAudio pcm =
        ReadWav(Riff({{"LIST", {1, 2, 3}}, {"fmt ", Format(1, 1, 8000, 16, true)}, {"data", samples}}));
    EXPECT_EQ(pcm.SampleRate, 8000);
    EXPECT_EQ(pcm.Samples, (std::vector<int16_t>{1, 2, 3, -1}));
  }
  // A streaming writer leaves the data chunk's length unknown; the sound runs to the end of the file.
  for (const uint32_t unknownLength : {0u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(unknownLength);
    std::vector<uint8_t> wav = Riff({{"fmt ", Format(1, 2, 8000, 16)}, {"data", samples}});
    for (int i = 0; i < 4; ++i) wav[40 + i] = static_cast<uint8_t>(unknownLength >> (8 * i));
    const PcmAudio pcm = ReadWav(wav);
    EXPECT_EQ(pcm.Samples, (std::vector<int16_t>{1, 2, 3, -1}));  // whole frames only
  }
}

TEST(WavFile, RefusesWhatItCannotReadWithTheReason) {
  const std::vector<uint8_t> data = {0, 0, 0, 0};
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<Case> cases = {
      {"not RIFF", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 0}, "does not begin with a RIFF WAVE header"},
      {"8-bit", Riff({{"fmt ", Format(1, 1, 8000, 8)}, {"data", data}}), "8 bits; only 16-bit PCM"},
      {"float", Riff({{"fmt ", Format(3, 1, 8000, 32)}, {"data", data}}), "not PCM (format code 3)"},
      {"extensible float", Riff({{"fmt ", Format(3, 1, 8000, 32, true)}, {"data", data}}), "format code 3"},
      {"surround", Riff({{"fmt ", Format(1, 6, 8000, 16)}, {"data", data}}), "6 channels"},
      {"no data", Riff({{"fmt ", Format(1, 1, 8000, 16)}}), "no sound data chunk"},
      {"data first", Riff({{"data", data}, {"fmt ", Format(1, 1, 8000, 16)}}), "before its format chunk"},
      {"short format", Riff({{"fmt ", {1, 0, 1, 0}}, {"data", data}}), "format chunk is cut short"},
      {"no format", Riff({}), "no format chunk"},
  };
  std::vector<uint8_t> cut = Riff({{"fmt ", Format(1, 1, 8000, 16)}, {"data", std::vector<uint8_t>(4000)}});
  cut.resize(cut.size() - 1000);
  cases.push_back({"cut short", cut, "cut short: its sound data chunk claims 4000 bytes, the file holds 3000"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ReadWav(c.bytes);
      ADD_FAILURE() << "read";
    } catch (const AudioFormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace kestrel::audio
