// A sound bank sample as the editor plays it and kestrel-cli turns it into a WAV file: MPEG audio
// decoded from memory. Whatever decodes is whole frames of the format the first frame announced.
#include <cstddef>
#include <cstdint>

#include "studio/audio/mpeg_audio.h"

using namespace kestrel::audio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    MpegStreamInfo info;
    const PcmAudio pcm = DecodeMpegAudio(data, size, &info);
    if (pcm.Channels < 1 || pcm.Channels > 2 || pcm.SampleRate <= 0 ||
        pcm.Samples.size() % static_cast<size_t>(pcm.Channels) != 0)
      __builtin_trap();
  } catch (const AudioFormatError&) {
  }
  return 0;
}
