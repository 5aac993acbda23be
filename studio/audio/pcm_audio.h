// 16-bit PCM sound in memory, and the errors of the sound codecs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace kestrel::audio {

// Bytes that are not sound of a kind we read, or sound we cannot encode as asked.
class AudioFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PcmAudio {
  int SampleRate = 0;
  int Channels = 0;              // 1 or 2
  std::vector<int16_t> Samples;  // interleaved, Channels values per frame

  size_t Frames() const { return Channels > 0 ? Samples.size() / static_cast<size_t>(Channels) : 0; }
  double Seconds() const { return SampleRate > 0 ? static_cast<double>(Frames()) / SampleRate : 0.0; }
};

}  // namespace kestrel::audio
