// MPEG audio (layers I to III, as in ".MP2" and ".MP3" files): decoding from memory with libmpg123
// and encoding layer II with libtwolame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "studio/audio/pcm_audio.h"

namespace kestrel::audio {

enum class ChannelMode { Stereo, JointStereo, DualChannel, Mono };

// What the first frame of a stream says about it.
struct MpegStreamInfo {
  int Version = 0;  // 1 (MPEG-1), 2 (MPEG-2) or 25 (MPEG-2.5)
  int Layer = 0;
  int SampleRate = 0;
  ChannelMode Mode = ChannelMode::Stereo;
  int BitRate = 0;  // kbit/s; 0 for a free-format stream
  bool VariableBitRate = false;

  int Channels() const { return Mode == ChannelMode::Mono ? 1 : 2; }
};

// "22050 Hz mono", "44100 Hz joint stereo".
std::string DescribeFormat(int sampleRate, int channels);
std::string ModeName(ChannelMode mode);

// Decodes a whole stream held in memory into 16-bit PCM at the stream's own rate and channels.
// Junk before the first frame is skipped; decoding ends at the end of the data or where the stream
// changes its rate or channels. Throws AudioFormatError when no frame could be decoded.
PcmAudio DecodeMpegAudio(const uint8_t* data, size_t size, MpegStreamInfo* info = nullptr);

struct Mp2Settings {
  ChannelMode Mode = ChannelMode::Stereo;
  int BitRate = 0;  // kbit/s
};

// Encodes `pcm` as MPEG audio layer II at the PCM's own sample rate (MPEG-1 for 32000 Hz and up,
// MPEG-2 below). Throws AudioFormatError when the rate, channels, mode and bit rate do not make a
// valid layer II stream.
std::vector<uint8_t> EncodeMp2(const PcmAudio& pcm, const Mp2Settings& settings);

}  // namespace kestrel::audio
