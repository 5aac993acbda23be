// A sound bank as the studio's editor and kestrel-cli load it: the directory, every entry header
// and each sample's data, and the layout check a rewrite makes first.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "fuzz/memory_file.h"
#include "studio/soundbank/sound_bank.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzz::MemoryFile file(data, size);
  SoundBank bank;
  try {
    LoadSoundBank(bank, file.Path());
  } catch (const std::exception&) {
    if (!bank.Empty() || !bank.Path.empty()) __builtin_trap();  // a refused bank leaves nothing behind
    return 0;
  }
  for (size_t i = 0; i < bank.Count() && i < fuzz::kMaxEntriesRead; ++i) {
    try {
      ReadSampleData(bank, i);
    } catch (const std::exception&) {
    }
  }
  try {
    CheckRewriteLayout(bank);
  } catch (const std::exception&) {
  }
  return 0;
}
