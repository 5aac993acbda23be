// Test-side sound: pure tones to encode, and measurements of what comes back.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "studio/audio/pcm_audio.h"

namespace kestrel::audio::testing {

// A sine of `hz` at about half of full scale, the same in every channel.
inline PcmAudio Tone(int sampleRate, int channels, double hz, double seconds) {
  PcmAudio pcm;
  pcm.SampleRate = sampleRate;
  pcm.Channels = channels;
  const size_t frames = static_cast<size_t>(seconds * sampleRate);
  pcm.Samples.reserve(frames * static_cast<size_t>(channels));
  for (size_t i = 0; i < frames; ++i) {
    const auto value = static_cast<int16_t>(16000 * std::sin(2 * M_PI * hz * static_cast<double>(i) / sampleRate));
    for (int c = 0; c < channels; ++c) pcm.Samples.push_back(value);
  }
  return pcm;
}

// A stereo sound whose left and right channels carry sines of different pitch, so that a lost,
// doubled or swapped channel shows.
inline PcmAudio TwoTones(int sampleRate, double leftHz, double rightHz, double seconds) {
  PcmAudio pcm;
  pcm.SampleRate = sampleRate;
  pcm.Channels = 2;
  const size_t frames = static_cast<size_t>(seconds * sampleRate);
  for (size_t i = 0; i < frames; ++i)
    for (double hz : {leftHz, rightHz})
      pcm.Samples.push_back(static_cast<int16_t>(16000 * std::sin(2 * M_PI * hz * static_cast<double>(i) / sampleRate)));
  return pcm;
}

// The frames of channel 0 from the first to the last one louder than `threshold`, as [first, end).
struct AudibleSpan {
  size_t first = 0;
  size_t end = 0;
  size_t Frames() const { return end - first; }
};
inline AudibleSpan FindAudible(const std::vector<int16_t>& interleaved, int channels, int threshold = 2000) {
  AudibleSpan span;
  bool found = false;
  const size_t frames = interleaved.size() / static_cast<size_t>(channels);
  for (size_t i = 0; i < frames; ++i) {
    if (std::abs(interleaved[i * static_cast<size_t>(channels)]) > threshold) {
      if (!found) span.first = i;
      found = true;
      span.end = i + 1;
    }
  }
  return span;
}

// The frequency of `channel` within [first, end), from its rising zero crossings.
inline double MeasuredFrequency(const std::vector<int16_t>& interleaved, int channels, int sampleRate, size_t first,
                                size_t end, int channel = 0) {
  size_t crossings = 0, firstCrossing = 0, lastCrossing = 0;
  for (size_t i = first + 1; i < end; ++i) {
    const int16_t before = interleaved[(i - 1) * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    const int16_t now = interleaved[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    if (before < 0 && now >= 0) {
      if (crossings == 0) firstCrossing = i;
      lastCrossing = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return static_cast<double>(crossings - 1) * sampleRate / static_cast<double>(lastCrossing - firstCrossing);
}

inline double MeasuredFrequency(const PcmAudio& pcm, int channel = 0) {
  const AudibleSpan span = FindAudible(pcm.Samples, pcm.Channels);
  return MeasuredFrequency(pcm.Samples, pcm.Channels, pcm.SampleRate, span.first, span.end, channel);
}

}  // namespace kestrel::audio::testing
