// WAV files of 16-bit PCM: what modders keep their sounds in.
#pragma once

#include <cstdint>
#include <vector>

#include "studio/audio/pcm_audio.h"

namespace kestrel::audio {

// Reads a RIFF WAVE file of 16-bit PCM, mono or stereo (plain or extensible format header).
// A sound data chunk whose length is 0 or 0xFFFFFFFF (a streaming writer's) runs to the end of the
// file. Anything else, or a file cut short (inside its headers, or holding less sound data than its
// chunk claims), is an AudioFormatError saying what it is.
PcmAudio ReadWav(const std::vector<uint8_t>& bytes);

// A canonical 44-byte-header WAV file of the PCM. Throws AudioFormatError above 4 GiB of data.
std::vector<uint8_t> EncodeWav(const PcmAudio& pcm);

}  // namespace kestrel::audio
