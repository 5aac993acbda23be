#include "studio/soundbank/testing/bank_builder.h"

#include <numeric>

#include "archive/byte_reader.h"
#include "archive/testing/mas_builder.h"

namespace kestrel::testing {

std::vector<uint8_t> TestBank::Build() const {
  std::vector<size_t> order = FileOrder;
  if (order.empty()) {
    order.resize(Samples.size());
    std::iota(order.begin(), order.end(), size_t{0});
  }
  ByteWriter w;
  w.U32(static_cast<uint32_t>(Samples.size()));
  for (size_t i = 0; i < Samples.size(); ++i) w.U32(0);  // directory, patched below
  for (size_t i : order) {
    const TestSample& s = Samples[i];
    PatchI32(w.Bytes(), 4 + 4 * i, static_cast<int32_t>(w.Size()));
    w.I32(s.DataOffset);
    w.I32(static_cast<int32_t>(s.Data.size()));
    w.FixedString(s.Name, 16);
    for (uint32_t v : s.Extra) w.U32(v);
    w.Bytes().insert(w.Bytes().end(), static_cast<size_t>(s.DataOffset) - 40, 0xEE);
    w.Raw(s.Data.data(), s.Data.size());
    w.Bytes().insert(w.Bytes().end(), s.GapAfter, 0xDD);
  }
  w.Raw(Trailer.data(), Trailer.size());
  return std::move(w.Bytes());
}

void TestBank::WriteTo(const std::string& path) const { WriteFileBytes(path, Build()); }

void PatchI32(std::vector<uint8_t>& bytes, size_t position, int32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(position + i) = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

}  // namespace kestrel::testing
