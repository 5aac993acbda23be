// kestrel-cli's sound bank commands: list a bank, copy one sample's data out, put a file's bytes in.
#include <unistd.h>

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "cli_command.h"
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
      std::cout << i << '\t' << PrintableName(bank.Entries[i].DisplayName()) << '\t' << bank.Entries[i].DataSize << '\n';
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
    try {
      WriteWholeFile(args[2], data.data(), data.size());
    } catch (const EInOutError&) {
      ::unlink(args[2].c_str());  // no half-written sample file is left to be mistaken for the whole
      throw;
    }
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

}  // namespace kestrel::cli
