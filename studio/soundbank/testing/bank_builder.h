// Test-side sound bank writer: well-formed banks and banks whose layout a rewrite must refuse.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::testing {

struct TestSample {
  std::string Name;  // stored byte for byte (zero bytes inside included), cut to 16, zero padded
  std::vector<uint8_t> Data;
  std::array<uint32_t, 4> Extra{};
  int32_t DataOffset = 40;  // the data lies this far after its entry header; filler in between
  size_t GapAfter = 0;      // filler bytes after the data
};

struct TestBank {
  std::vector<TestSample> Samples;
  // The order in which the entries lie in the file (indexes into Samples); empty: directory order.
  std::vector<size_t> FileOrder;
  std::vector<uint8_t> Trailer;  // bytes after the last entry

  std::vector<uint8_t> Build() const;
  void WriteTo(const std::string& path) const;
};

// Overwrites the little-endian 32-bit value at `position`.
void PatchI32(std::vector<uint8_t>& bytes, size_t position, int32_t value);

}  // namespace kestrel::testing
