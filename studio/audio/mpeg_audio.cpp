#include "studio/audio/mpeg_audio.h"

#include <mpg123.h>
#include <twolame.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace kestrel::audio {
namespace {

struct HandleDeleter {
  void operator()(mpg123_handle* h) const { mpg123_delete(h); }
};
using DecoderHandle = std::unique_ptr<mpg123_handle, HandleDeleter>;

DecoderHandle NewDecoder() {
  // Harmless to repeat; required before the first handle by libraries older than 1.27.
  static const int initialised = mpg123_init();
  int error = initialised;
  DecoderHandle h(error == MPG123_OK ? mpg123_new(nullptr, &error) : nullptr);
  if (!h)
    throw AudioFormatError(std::string("The MPEG audio decoder could not start: ") + mpg123_plain_strerror(error));
  mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  // 16-bit output is fixed first, at every rate the decoder knows and in the stream's own channels,
  // so that nothing is resampled or mixed here.
  mpg123_format_none(h.get());
  const long* rates = nullptr;
  size_t count = 0;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i)
    mpg123_format(h.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open_feed(h.get()) != MPG123_OK)
    throw AudioFormatError(std::string("The MPEG audio decoder could not start: ") + mpg123_strerror(h.get()));
  return h;
}

ChannelMode ModeFromDecoder(int mode) {
  switch (mode) {
    case MPG123_M_JOINT:
      return ChannelMode::JointStereo;
    case MPG123_M_DUAL:
      return ChannelMode::DualChannel;
    case MPG123_M_MONO:
      return ChannelMode::Mono;
    default:
      return ChannelMode::Stereo;
  }
}

MpegStreamInfo InfoOf(mpg123_handle* h) {
  mpg123_frameinfo2 frame{};
  mpg123_info2(h, &frame);
  MpegStreamInfo info;
  info.Version = frame.version == MPG123_1_0 ? 1 : frame.version == MPG123_2_0 ? 2 : 25;
  info.Layer = frame.layer;
  info.SampleRate = static_cast<int>(frame.rate);
  info.Mode = ModeFromDecoder(frame.mode);
  info.BitRate = frame.bitrate;
  info.VariableBitRate = frame.vbr != MPG123_CBR;
  return info;
}

}  // namespace

std::string ModeName(ChannelMode mode) {
  switch (mode) {
    case ChannelMode::Stereo:
      return "stereo";
    case ChannelMode::JointStereo:
      return "joint stereo";
    case ChannelMode::DualChannel:
      return "dual channel";
    case ChannelMode::Mono:
      return "mono";
  }
  return "stereo";
}

std::string DescribeFormat(int sampleRate, int channels) {
  return std::to_string(sampleRate) + " Hz " +
         (channels == 1   ? std::string("mono")
          : channels == 2 ? std::string("stereo")
                          : std::to_string(channels) + " channels");
}

PcmAudio DecodeMpegAudio(const uint8_t* data, size_t size, MpegStreamInfo* info) {
  DecoderHandle h = NewDecoder();
  PcmAudio pcm;
  // mpg123 takes the length as size_t but works in long internally; feed in pieces it can count.
  size_t fed = 0;
  const auto feedMore = [&] {
    if (fed >= size) return false;
    const size_t n = std::min<size_t>(size - fed, 1 << 24);
    mpg123_feed(h.get(), data + fed, n);
    fed += n;
    return true;
  };
  feedMore();
  std::vector<unsigned char> buffer(1 << 16);
  for (;;) {
    size_t done = 0;
    const int result = mpg123_read(h.get(), buffer.data(), buffer.size(), &done);
    if (pcm.Channels > 0 && done > 0) {
      const auto* samples = reinterpret_cast<const int16_t*>(buffer.data());
      pcm.Samples.insert(pcm.Samples.end(), samples, samples + done / sizeof(int16_t));
    }
    if (result == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      mpg123_getformat(h.get(), &rate, &channels, &encoding);
      if (pcm.Channels == 0) {
        pcm.SampleRate = static_cast<int>(rate);
        pcm.Channels = channels;
        if (info) *info = InfoOf(h.get());
      } else if (rate != pcm.SampleRate || channels != pcm.Channels) {
        break;  // a stream glued to another of a different kind: the first one is the sample
      }
    } else if (result == MPG123_NEED_MORE) {
      if (!feedMore()) break;
    } else if (result == MPG123_DONE) {
      break;
    } else if (result != MPG123_OK) {
      if (pcm.Samples.empty())
        throw AudioFormatError(std::string("The data is not MPEG audio that can be decoded: ") +
                               mpg123_strerror(h.get()));
      break;  // damage after good frames: keep what was heard so far
    }
  }
  if (pcm.Channels > 0) pcm.Samples.resize(pcm.Frames() * static_cast<size_t>(pcm.Channels));
  if (pcm.Frames() == 0) throw AudioFormatError("The data holds no MPEG audio frame.");
  return pcm;
}

namespace {

struct EncoderDeleter {
  void operator()(twolame_options* o) const { twolame_close(&o); }
};

TWOLAME_MPEG_mode EncoderMode(ChannelMode mode) {
  switch (mode) {
    case ChannelMode::JointStereo:
      return TWOLAME_JOINT_STEREO;
    case ChannelMode::DualChannel:
      return TWOLAME_DUAL_CHANNEL;
    case ChannelMode::Mono:
      return TWOLAME_MONO;
    default:
      return TWOLAME_STEREO;
  }
}

// The layer II streams the standard allows, checked here so that the encoder's own complaint (which
// it prints) is never reached for them.
bool LayerTwoAllows(int rate, int channels, int bitRate) {
  const auto in = [bitRate](std::initializer_list<int> list) {
    return std::find(list.begin(), list.end(), bitRate) != list.end();
  };
  if (rate == 32000 || rate == 44100 || rate == 48000) {
    if (!in({32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384})) return false;
    return channels == 1 ? bitRate <= 192 : !in({32, 48, 56, 80});
  }
  if (rate == 16000 || rate == 22050 || rate == 24000)
    return in({8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160});
  return false;
}

}  // namespace

std::vector<uint8_t> EncodeMp2(const PcmAudio& pcm, const Mp2Settings& settings) {
  const std::string what = DescribeFormat(pcm.SampleRate, pcm.Channels) + " (" + ModeName(settings.Mode) + ") at " +
                           std::to_string(settings.BitRate) + " kbit/s";
  const int modeChannels = settings.Mode == ChannelMode::Mono ? 1 : 2;
  if ((pcm.Channels != 1 && pcm.Channels != 2) || pcm.Channels != modeChannels)
    throw AudioFormatError("MPEG audio layer II cannot hold " + what + ".");
  if (!LayerTwoAllows(pcm.SampleRate, pcm.Channels, settings.BitRate))
    throw AudioFormatError("MPEG audio layer II cannot be encoded as " + what + ".");
  std::unique_ptr<twolame_options, EncoderDeleter> o(twolame_init());
  if (!o) throw AudioFormatError("The MPEG audio encoder could not start.");
  twolame_set_verbosity(o.get(), 0);
  twolame_set_num_channels(o.get(), pcm.Channels);
  twolame_set_in_samplerate(o.get(), pcm.SampleRate);
  twolame_set_out_samplerate(o.get(), pcm.SampleRate);
  twolame_set_version(o.get(), pcm.SampleRate >= 32000 ? TWOLAME_MPEG1 : TWOLAME_MPEG2);
  twolame_set_mode(o.get(), EncoderMode(settings.Mode));
  twolame_set_bitrate(o.get(), settings.BitRate);
  if (twolame_init_params(o.get()) != 0)
    throw AudioFormatError("MPEG audio layer II cannot be encoded as " + what + ".");

  std::vector<uint8_t> out;
  constexpr size_t kChunkFrames = 1152 * 8;
  // Worst case for one call: a frame per 1152 input frames at the highest bit rate, plus slack.
  std::vector<unsigned char> buffer(16384 + kChunkFrames * 4);
  std::vector<short> chunk;
  // Encoder and decoder together delay the sound by about 480 frames, and the encoder's flush only
  // completes the frame it holds: without this much silence after it the sound's end is cut off.
  constexpr size_t kDelayPadding = 512;
  const size_t frames = pcm.Frames() + kDelayPadding;
  for (size_t start = 0; start < frames; start += kChunkFrames) {
    const size_t n = std::min(kChunkFrames, frames - start);
    chunk.assign(n * static_cast<size_t>(pcm.Channels), 0);
    const size_t real = start < pcm.Frames() ? std::min(n, pcm.Frames() - start) : 0;
    std::copy_n(pcm.Samples.begin() + static_cast<ptrdiff_t>(start * pcm.Channels), real * pcm.Channels, chunk.begin());
    const int written = twolame_encode_buffer_interleaved(o.get(), chunk.data(), static_cast<int>(n), buffer.data(),
                                                          static_cast<int>(buffer.size()));
    if (written < 0) throw AudioFormatError("The MPEG audio encoder failed on " + what + ".");
    out.insert(out.end(), buffer.begin(), buffer.begin() + written);
  }
  const int written = twolame_encode_flush(o.get(), buffer.data(), static_cast<int>(buffer.size()));
  if (written < 0) throw AudioFormatError("The MPEG audio encoder failed on " + what + ".");
  out.insert(out.end(), buffer.begin(), buffer.begin() + written);
  return out;
}

}  // namespace kestrel::audio
