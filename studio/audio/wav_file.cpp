#include "studio/audio/wav_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "archive/byte_reader.h"

namespace kestrel::audio {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

[[noreturn]] void Refuse(const std::string& why) {
  throw AudioFormatError("This is not a WAV file we can read: " + why + ".");
}

}  // namespace

PcmAudio ReadWav(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
    Refuse("it does not begin with a RIFF WAVE header");
  PcmAudio pcm;
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    ByteReader chunk(bytes.data() + at, bytes.size() - at);
    char id[4];
    chunk.Bytes(id, 4);
    const uint32_t chunkSize = chunk.U32();
    const size_t body = at + 8;
    const size_t available = chunk.Remaining();
    if (std::memcmp(id, "fmt ", 4) == 0) {
      if (chunkSize < 16 || available < 16) Refuse("its format chunk is cut short");
      uint16_t format = chunk.U16();
      const uint16_t channels = chunk.U16();
      const uint32_t rate = chunk.U32();
      chunk.Seek(8 + 14);
      const uint16_t bits = chunk.U16();
      // The extensible header names the true format in the first two bytes of its sub-format GUID.
      if (format == kFormatExtensible && chunkSize >= 40 && available >= 40) {
        chunk.Seek(8 + 24);
        format = chunk.U16();
      }
      if (format != kFormatPcm) Refuse("its samples are not PCM (format code " + std::to_string(format) + ")");
      if (bits != 16) Refuse("its samples have " + std::to_string(bits) + " bits; only 16-bit PCM is read");
      if (channels != 1 && channels != 2)
        Refuse("it has " + std::to_string(channels) + " channels; only mono and stereo are read");
      if (rate == 0 || rate > 384000) Refuse("its sample rate of " + std::to_string(rate) + " Hz is not a sound's");
      pcm.Channels = channels;
      pcm.SampleRate = static_cast<int>(rate);
      haveFormat = true;
    } else if (std::memcmp(id, "data", 4) == 0) {
      if (!haveFormat) Refuse("its sound data comes before its format chunk");
      // A writer that streams cannot know the length when it writes the header: it leaves 0 or
      // 0xFFFFFFFF there, and the sound runs to the end of the file. Any other length the file does
      // not hold is a file cut short, whose sound would be cut short too.
      const bool streamed = chunkSize == 0 || chunkSize == 0xFFFFFFFFu;
      if (!streamed && chunkSize > available)
        Refuse("it is cut short: its sound data chunk claims " + std::to_string(chunkSize) + " bytes, the file holds " +
               std::to_string(available));
      size_t length = streamed ? available : chunkSize;
      const size_t frameBytes = 2 * static_cast<size_t>(pcm.Channels);
      length -= length % frameBytes;
      pcm.Samples.resize(length / 2);
      for (int16_t& sample : pcm.Samples) sample = static_cast<int16_t>(chunk.U16());
      return pcm;
    }
    // Chunks are padded to an even length.
    at = body + static_cast<size_t>(chunkSize) + (chunkSize & 1);
  }
  Refuse(haveFormat ? "it has no sound data chunk" : "it has no format chunk");
}

std::vector<uint8_t> EncodeWav(const PcmAudio& pcm) {
  const uint64_t dataBytes = static_cast<uint64_t>(pcm.Samples.size()) * 2;
  if (dataBytes > 0xFFFFFFFFull - 36) throw AudioFormatError("The sound is too long for a WAV file (4 GiB at most).");
  const uint32_t channels = static_cast<uint32_t>(pcm.Channels);
  const uint32_t rate = static_cast<uint32_t>(pcm.SampleRate);
  ByteWriter w;
  w.Raw("RIFF", 4);
  w.U32(static_cast<uint32_t>(36 + dataBytes));
  w.Raw("WAVE", 4);
  w.Raw("fmt ", 4);
  w.U32(16);
  w.U16(kFormatPcm);
  w.U16(static_cast<uint16_t>(channels));
  w.U32(rate);
  w.U32(rate * channels * 2);                  // bytes per second
  w.U16(static_cast<uint16_t>(channels * 2));  // bytes per frame
  w.U16(16);
  w.Raw("data", 4);
  w.U32(static_cast<uint32_t>(dataBytes));
  std::vector<uint8_t>& out = w.Bytes();
  out.reserve(out.size() + dataBytes);
  for (int16_t s : pcm.Samples) {
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s)));
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return std::move(out);
}

}  // namespace kestrel::audio
