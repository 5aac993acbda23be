// kestrel-cli's sound bank commands: list a bank, copy one sample's data out, put a file's bytes in,
// and exchange a sample with a WAV file (decoded, or encoded in the sample's own format).
#include <sys/stat.h>

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/mas_format.h"
#include "cli_command.h"
#include "studio/audio/mpeg_audio.h"
#include "studio/audio/wav_file.h"
#include "studio/soundbank/sound_bank.h"

namespace kestrel::cli {
namespace {

bool ParseIndex(const std::string& text, size_t& index) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// Runs `work`, turning the bank's and the file system's errors into a message and status 1.
template <typename Work>
int Guarded(Work work) {
  try {
    return work();
  } catch (const EInOutError& e) {
    return Fail(FileErrorReport(e));
  } catch (const SoundBankError& e) {
    return Fail(e.what());
  } catch (const audio::AudioFormatError& e) {
    return Fail(e.what());
  }
}

// A file is replaced whole or not at all. A pipe, a device or an open descriptor named through
// /dev or /proc (/dev/stdout feeding a player) is simply written to: there is nothing there to
// keep, and a replacement beside it would miss the descriptor the reader holds.
void WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes) {
  struct stat st;
  const bool stream = path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0 ||
                      (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
  if (stream)
    WriteWholeFile(path, bytes.data(), bytes.size());
  else
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

// Checks the argument count and the index; false after the usage or the complaint was printed.
bool SampleArguments(const char* command, const Args& args, size_t& index, int& status) {
  if (args.size() != 3) {
    status = UsageError(FindCommand(command));
    return false;
  }
  if (!ParseIndex(args[1], index)) {
    Fail("\"" + args[1] + "\" is not a sample index (0, 1, 2, ...)");
    status = 2;
    return false;
  }
  return true;
}

}  // namespace

int RunSdtList(const Args& args) {
  if (args.size() != 1) return UsageError(FindCommand("sdt-list"));
  return Guarded([&] {
    SoundBank bank;
    LoadSoundBank(bank, args[0]);
    for (size_t i = 0; i < bank.Count(); ++i)
      std::cout << i << '\t' << PrintableName(bank.Entries[i].DisplayName()) << '\t' << bank.Entries[i].DataSize
                << '\n';
    return 0;
  });
}

int RunSdtExport(const Args& args) {
  size_t index = 0;
  int status = 0;
  if (!SampleArguments("sdt-export", args, index, status)) return status;
  if (OutputIsInput(args[2], args[0])) return 1;
  return Guarded([&] {
    SoundBank bank;
    LoadSoundBank(bank, args[0]);
    const std::vector<uint8_t> data = ReadSampleData(bank, index);
    WriteOutput(args[2], data);
    return 0;
  });
}

int RunSdtImport(const Args& args) {
  size_t index = 0;
  int status = 0;
  if (!SampleArguments("sdt-import", args, index, status)) return status;
  return Guarded([&] {
    SoundBank bank;
    LoadSoundBank(bank, args[0]);
    CheckSampleIndex(bank, index);
    ReplaceSampleData(bank, index, ReadWholeFile(args[2]));
    return 0;
  });
}

int RunSdtWav(const Args& args) {
  size_t index = 0;
  int status = 0;
  if (!SampleArguments("sdt-wav", args, index, status)) return status;
  if (OutputIsInput(args[2], args[0])) return 1;
  return Guarded([&] {
    SoundBank bank;
    LoadSoundBank(bank, args[0]);
    CheckSampleIndex(bank, index);
    audio::MpegStreamInfo info;
    const std::vector<uint8_t> wav = audio::EncodeWav(DecodeSample(bank, index, info));
    WriteOutput(args[2], wav);
    return 0;
  });
}

int RunSdtImportWav(const Args& args) {
  size_t index = 0;
  int status = 0;
  if (!SampleArguments("sdt-import-wav", args, index, status)) return status;
  return Guarded([&] {
    SoundBank bank;
    LoadSoundBank(bank, args[0]);
    CheckSampleIndex(bank, index);
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
