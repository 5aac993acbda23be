#include "studio/audio/bass_audio.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "archive/file_io.h"
#include "studio/audio/mpeg_audio.h"

namespace kestrel::audio {
namespace {

constexpr int kOutputChannels = 2;
constexpr Uint16 kBufferFrames = 512;  // about 23 ms at 22050 Hz: what "stop at once" waits at most

// The one playback. The audio thread reads it; the interface thread changes `frames` and
// `position` only while `data` is null and the callback has been fenced out (see Fence).
struct Voice {
  std::atomic<const int16_t*> data{nullptr};
  size_t frames = 0;
  size_t position = 0;  // the audio thread's
  std::atomic<HCHANNEL> channel{0};
  std::atomic<bool> stopped{true};
  std::atomic<uint64_t> audibleUntil{0};  // SDL ticks (ms) at which the last copied frame is heard
  int rate = 1;
};

struct Output {
  SDL_AudioDeviceID id = 0;
  SDL_AudioSpec spec{};
  Voice voice;
  std::map<HSAMPLE, std::vector<int16_t>> samples;  // at the output's rate, interleaved stereo
  HSAMPLE playing = 0;
};

std::unique_ptr<Output> g_output;
uint32_t g_lastHandle = 0;  // never reused, so a handle from a closed output matches nothing

void Callback(void* user, Uint8* stream, int length) {
  Voice& v = *static_cast<Voice*>(user);
  auto* out = reinterpret_cast<int16_t*>(stream);
  const size_t values = static_cast<size_t>(length) / sizeof(int16_t);
  size_t copied = 0;
  if (const int16_t* data = v.data.load(std::memory_order_acquire)) {
    copied = std::min(values, (v.frames - v.position) * kOutputChannels);
    std::memcpy(out, data + v.position * kOutputChannels, copied * sizeof(int16_t));
    v.position += copied / kOutputChannels;
    if (v.position >= v.frames) {
      // The frames copied now follow about one buffer already on its way to the speaker.
      const uint64_t frames = kBufferFrames + copied / kOutputChannels;
      v.audibleUntil.store(SDL_GetTicks64() + frames * 1000 / static_cast<uint64_t>(v.rate) + 1);
      const int16_t* expected = data;
      v.data.compare_exchange_strong(expected, nullptr);
    }
  }
  std::memset(out + copied, 0, (values - copied) * sizeof(int16_t));
}

// Waits until a callback that may be running has returned; the next one sees what was stored before.
void Fence(const Output& o) {
  SDL_LockAudioDevice(o.id);
  SDL_UnlockAudioDevice(o.id);
}

void Silence(Output& o) {
  o.voice.stopped.store(true);
  o.voice.data.store(nullptr);
}

std::vector<int16_t> ToOutputFormat(const PcmAudio& pcm, const SDL_AudioSpec& spec) {
  SDL_AudioStream* stream = SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(pcm.Channels), pcm.SampleRate,
                                               AUDIO_S16SYS, spec.channels, spec.freq);
  if (!stream) return {};
  std::vector<int16_t> out;
  // Moves up to `bytes` of converted sound from the stream to the end of `out`.
  const auto take = [&](int bytes) {
    const size_t old = out.size();
    out.resize(old + static_cast<size_t>(bytes) / sizeof(int16_t));
    const int got = SDL_AudioStreamGet(stream, out.data() + old, bytes);
    out.resize(old + static_cast<size_t>(std::max(got, 0)) / sizeof(int16_t));
    return got > 0;
  };
  const size_t bytes = pcm.Samples.size() * sizeof(int16_t);
  bool ok = true;
  // SDL counts in int; large samples go in pieces.
  for (size_t at = 0; ok && at < bytes;) {
    const size_t n = std::min<size_t>(bytes - at, 1 << 24);
    ok = SDL_AudioStreamPut(stream, reinterpret_cast<const Uint8*>(pcm.Samples.data()) + at, static_cast<int>(n)) == 0;
    at += n;
    while (ok && SDL_AudioStreamAvailable(stream) > (1 << 24)) ok = take(1 << 24);
  }
  if (ok) ok = SDL_AudioStreamFlush(stream) == 0;
  const int available = ok ? SDL_AudioStreamAvailable(stream) : 0;
  if (available > 0) take(available);
  SDL_FreeAudioStream(stream);
  if (!ok) return {};
  out.resize(out.size() - out.size() % kOutputChannels);
  return out;
}

class SdlAudioLibrary : public AudioLibrary {
 public:
  int Init(int device, uint32_t freq, uint32_t flags, void* window) override {
    return BASS_Init(device, freq, flags, window);
  }
  int Start() override { return BASS_Start(); }
  HSAMPLE SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length, uint32_t max,
                     uint32_t flags) override {
    return BASS_SampleLoad(mem, file, offset, length, max, flags);
  }
  HCHANNEL SamplePlay(HSAMPLE sample) override { return BASS_SamplePlay(sample); }
  uint32_t ChannelIsActive(uint32_t handle) override { return BASS_ChannelIsActive(handle); }
  int SampleStop(HSAMPLE sample) override { return BASS_SampleStop(sample); }
  int SampleFree(HSAMPLE sample) override { return BASS_SampleFree(sample); }
  int Stop() override { return BASS_Stop(); }
  int Free() override { return BASS_Free(); }
};

}  // namespace

int BASS_Init(int device, uint32_t freq, uint32_t /*flags*/, void* /*window*/) {
  if (g_output) return 0;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  const char* name = nullptr;
  if (device > 0) name = SDL_GetAudioDeviceName(device - 1, 0);
  if (device == 0 || device < -1 || (device > 0 && !name)) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  auto output = std::make_unique<Output>();
  SDL_AudioSpec want{};
  want.freq = freq > 0 ? static_cast<int>(std::min<uint32_t>(freq, 384000)) : 44100;
  want.format = AUDIO_S16SYS;
  want.channels = kOutputChannels;
  want.samples = kBufferFrames;
  want.callback = Callback;
  want.userdata = &output->voice;
  // No change allowed: SDL converts to whatever the device wants, and we always see this format.
  output->id = SDL_OpenAudioDevice(name, 0, &want, &output->spec, 0);
  if (output->id == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  output->voice.rate = output->spec.freq;
  g_output = std::move(output);
  SDL_PauseAudioDevice(g_output->id, 0);
  return 1;
}

int BASS_Start() {
  if (!g_output) return 0;
  SDL_PauseAudioDevice(g_output->id, 0);
  return 1;
}

HSAMPLE BASS_SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length, uint32_t, uint32_t) {
  if (!g_output || !file) return 0;
  try {
    std::vector<uint8_t> fromDisk;
    const uint8_t* data = nullptr;
    size_t size = length;
    if (mem) {
      data = static_cast<const uint8_t*>(file) + offset;
    } else {
      fromDisk = ReadWholeFile(static_cast<const char*>(file));
      if (offset > fromDisk.size()) return 0;
      size = length ? std::min<size_t>(length, fromDisk.size() - offset) : fromDisk.size() - offset;
      data = fromDisk.data() + offset;
    }
    if (size == 0) return 0;
    std::vector<int16_t> converted = ToOutputFormat(DecodeMpegAudio(data, size), g_output->spec);
    if (converted.empty()) return 0;
    const HSAMPLE handle = ++g_lastHandle;
    g_output->samples.emplace(handle, std::move(converted));
    return handle;
  } catch (const std::exception&) {
    return 0;  // not MPEG audio, an unreadable file, or no memory for the decoded sound
  }
}

HCHANNEL BASS_SamplePlay(HSAMPLE sample) {
  if (!g_output) return 0;
  const auto found = g_output->samples.find(sample);
  if (found == g_output->samples.end()) return 0;
  Output& o = *g_output;
  Silence(o);
  Fence(o);
  Voice& v = o.voice;
  v.frames = found->second.size() / kOutputChannels;
  v.position = 0;
  v.audibleUntil.store(0);
  const HCHANNEL channel = ++g_lastHandle;
  v.channel.store(channel);
  v.stopped.store(false);
  v.data.store(found->second.data(), std::memory_order_release);
  o.playing = sample;
  return channel;
}

uint32_t BASS_ChannelIsActive(uint32_t handle) {
  if (!g_output || handle == 0) return BASS_ACTIVE_STOPPED;
  const Voice& v = g_output->voice;
  if (v.channel.load() != handle || v.stopped.load()) return BASS_ACTIVE_STOPPED;
  // `audibleUntil` is stored before `data` is cleared, so a null `data` finds it set.
  if (v.data.load() != nullptr || SDL_GetTicks64() < v.audibleUntil.load()) return BASS_ACTIVE_PLAYING;
  return BASS_ACTIVE_STOPPED;
}

int BASS_SampleStop(HSAMPLE sample) {
  if (!g_output || g_output->samples.count(sample) == 0) return 0;
  if (g_output->playing == sample) Silence(*g_output);
  return 1;
}

int BASS_SampleFree(HSAMPLE sample) {
  if (!g_output) return 0;
  const auto found = g_output->samples.find(sample);
  if (found == g_output->samples.end()) return 0;
  if (g_output->playing == sample) {
    Silence(*g_output);
    Fence(*g_output);  // the callback may still be copying from the sample's memory
    g_output->playing = 0;
  }
  g_output->samples.erase(found);
  return 1;
}

int BASS_Stop() {
  if (!g_output) return 0;
  Silence(*g_output);
  SDL_PauseAudioDevice(g_output->id, 1);
  return 1;
}

int BASS_Free() {
  if (!g_output) return 0;
  Silence(*g_output);
  SDL_CloseAudioDevice(g_output->id);  // returns once the audio thread has ended
  g_output.reset();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return 1;
}

AudioLibrary& SystemAudioLibrary() {
  static SdlAudioLibrary library;
  return library;
}

}  // namespace kestrel::audio
