// kestrel-cli's sound bank commands: list a bank, copy one sample's data out, put a file's bytes in,
// and exchange a sample with a WAV file (decoded, or encoded in the sample's own format).

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/mas_format.h"
#include "cli_command.h"
#include "studio/audio/mpeg_audio.h"
#include "studio/audio/wav_file.h"
#include "studio/soundbank/sound_bank.h"

namespace kestrel::cli {
namespace {

// Reads the INDEX argument; false after saying that the text is not one.
bool SampleIndexArgument(const std::string& text, size_t& index) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
  if (!text.empty() && ec == std::errc() && end == text.data() + text.size()) return true;
  Fail("\"" + text + "\" is not a sample index (0, 1, 2, ...)");
  return false;
}

// A file is replaced whole or not at all; a pipe or /dev/stdout is written straight into.
void WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes) {
  ReplaceFileContents(path, bytes.data(), bytes.size());
}

std::string SampleName(const SoundBank& bank, size_t index) {
  return "sample " + std::to_string(index) + " (\"" + PrintableName(bank.Entries[index].DisplayName()) + "\")";
}

// The sample's sound and what its first frame says, or a message naming the sample.
audio::PcmAudio DecodeSample(const SoundBank& bank, size_t index, audio::MpegStreamInfo& info) {
  const std::vector<uint8_t> data = ReadSampleData(bank, index);
  try {
    return audio::DecodeMpegAudio(data.data(), data.size(), &info);
  } catch (const audio::AudioFormatError& e) {
    throw audio::AudioFormatError(SampleName(bank, index) + " cannot be decoded: " + e.what());
  }
}

// The shared part of the commands on one sample, BANK.SDT INDEX FILE: the index checked, an output
// that is the bank refused, the bank loaded and the sample found; then `work(bank, index)`.
enum class SampleFile { Read, Written };
template <typename Work>
int OnSample(const Args& args, SampleFile file, Work work) {
  size_t index = 0;
  if (!SampleIndexArgument(args[1], index)) return 2;
  if (file == SampleFile::Written && OutputIsInput(args[2], args[0])) return 1;
  return Guarded<SoundBankError, audio::AudioFormatError>([&] {
    SoundBank bank;
    LoadSoundBank(bank, args[0]);
    CheckSampleIndex(bank, index);
    return work(bank, index);
  });
}

}  // namespace

int RunSdtList(const Args& args) {
  return Guarded<SoundBankError, audio::AudioFormatError>([&] {
    SoundBank bank;
    LoadSoundBank(bank, args[0]);
    for (size_t i = 0; i < bank.Count(); ++i)
      std::cout << i << '\t' << PrintableName(bank.Entries[i].DisplayName()) << '\t' << bank.Entries[i].DataSize
                << '\n';
    return 0;
  });
}

int RunSdtExport(const Args& args) {
  return OnSample(args, SampleFile::Written, [&](SoundBank& bank, size_t index) {
    WriteOutput(args[2], ReadSampleData(bank, index));
    return 0;
  });
}

int RunSdtImport(const Args& args) {
  return OnSample(args, SampleFile::Read, [&](SoundBank& bank, size_t index) {
    ReplaceSampleData(bank, index, ReadWholeFile(args[2]));
    return 0;
  });
}

int RunSdtWav(const Args& args) {
  return OnSample(args, SampleFile::Written, [&](SoundBank& bank, size_t index) {
    audio::MpegStreamInfo info;
    const std::vector<uint8_t> wav = audio::EncodeWav(DecodeSample(bank, index, info));
    WriteOutput(args[2], wav);
    return 0;
  });
}

int RunSdtImportWav(const Args& args) {
  return OnSample(args, SampleFile::Read, [&](SoundBank& bank, size_t index) {
    audio::PcmAudio sound;
    try {
      sound = audio::ReadWav(ReadWholeFile(args[2]));
    } catch (const audio::AudioFormatError& e) {
      return Fail(args[2] + ": " + e.what());
    }
    if (sound.Frames() == 0) return Fail(args[2] + " holds no sound.");

    // The game plays the bank's samples in the bank's own format, so the new one takes the old one's.
    audio::MpegStreamInfo info;
    DecodeSample(bank, index, info);
    if (sound.SampleRate != info.SampleRate || sound.Channels != info.Channels())
      return Fail(args[2] + " is " + audio::DescribeFormat(sound.SampleRate, sound.Channels) + ", but " +
                  SampleName(bank, index) + " is " + audio::DescribeFormat(info.SampleRate, info.Channels()) +
                  "; convert the WAV file to the sample's format first.");
    if (info.BitRate == 0)
      return Fail(SampleName(bank, index) + " uses a free-format bit rate, which the encoder cannot match.");
    std::vector<uint8_t> mp2;
    try {
      mp2 = audio::EncodeMp2(sound, {info.Mode, info.BitRate});
    } catch (const audio::AudioFormatError& e) {
      return Fail(std::string("The format of ") + SampleName(bank, index) + " cannot be kept: " + e.what());
    }
    ReplaceSampleData(bank, index, mp2);
    return 0;
  });
}

}  // namespace kestrel::cli
