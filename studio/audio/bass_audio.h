// The studio's audio output: the small set of BASS_* calls with which the sound bank editor plays
// one sample at a time, built on libmpg123 (decoding) and SDL2 (output).
//
// Every call is made from one thread (the studio's user-interface thread). Playback runs on SDL's
// audio thread, whose callback only copies prepared samples and never locks or allocates; the
// caller polls BASS_ChannelIsActive. Without an audio device BASS_Init fails and nothing else
// does harm.
#pragma once

#include <cstdint>

namespace kestrel::audio {

using HSAMPLE = uint32_t;
using HCHANNEL = uint32_t;

constexpr uint32_t BASS_ACTIVE_STOPPED = 0;
constexpr uint32_t BASS_ACTIVE_PLAYING = 1;

// Opens the output: `device` -1 is SDL's default device, 1, 2, ... the devices SDL lists. The
// output runs at `freq` Hz (44100 for 0), 16-bit stereo, and starts at once. `flags` and `window`
// are accepted and not needed. Non-zero on success; 0 when there is no device or the output is
// already open.
int BASS_Init(int device, uint32_t freq, uint32_t flags, void* window);
// Resumes output stopped by BASS_Stop. Non-zero when the output is open.
int BASS_Start();
// Decodes an MPEG audio sample (layers I to III) and converts it to the output's rate and channels.
// `mem` non-zero: `file` points at the data, `length` bytes from `offset`; the data is copied, so
// the caller may free it at once. `mem` 0: `file` is a path (length 0: the whole file). `max` and
// `flags` are accepted; one playback at a time. A sample handle, or 0 when the output is not open
// or the data holds no MPEG audio.
HSAMPLE BASS_SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length, uint32_t max, uint32_t flags);
// Plays the sample from its start, ending any playback before it. A channel handle, or 0.
HCHANNEL BASS_SamplePlay(HSAMPLE sample);
// BASS_ACTIVE_PLAYING while sound of that playback remains to be heard, else BASS_ACTIVE_STOPPED.
uint32_t BASS_ChannelIsActive(uint32_t handle);
// Silences every playback of the sample at once.
int BASS_SampleStop(HSAMPLE sample);
// Stops and releases the sample. Harmless for 0, for an unknown handle and when the output is closed.
int BASS_SampleFree(HSAMPLE sample);
// Silences everything and pauses the output. Harmless when the output is closed.
int BASS_Stop();
// Closes the output device and releases every sample. Harmless when the output is closed.
int BASS_Free();

// The same calls behind an interface, so that a user of them can be tested with a stand-in.
class AudioLibrary {
 public:
  virtual ~AudioLibrary() = default;
  virtual int Init(int device, uint32_t freq, uint32_t flags, void* window) = 0;
  virtual int Start() = 0;
  virtual HSAMPLE SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length, uint32_t max,
                             uint32_t flags) = 0;
  virtual HCHANNEL SamplePlay(HSAMPLE sample) = 0;
  virtual uint32_t ChannelIsActive(uint32_t handle) = 0;
  virtual int SampleStop(HSAMPLE sample) = 0;
  virtual int SampleFree(HSAMPLE sample) = 0;
  virtual int Stop() = 0;
  virtual int Free() = 0;
};

// The interface over the functions above.
AudioLibrary& SystemAudioLibrary();

}  // namespace kestrel::audio
