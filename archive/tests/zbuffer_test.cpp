#include "archive/zbuffer.h"

#include <gtest/gtest.h>

#include "archive/testing/mas_builder.h"

namespace kestrel {
namespace {

using testing::Deflate;
using testing::NoiseBytes;

TEST(CompressBuffer, EmptyInputIsTheStandardEightByteStream) {
  const std::vector<uint8_t> expected = {0x78, 0xDA, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(CompressBuffer(nullptr, 0, 3), expected);
}

TEST(CompressBuffer, MatchesZlibLevelNineAndRoundTrips) {
  // Incompressible data makes the stream longer than the first buffer guess, so it must grow.
  for (size_t size : {size_t{1}, size_t{1000}, size_t{70000}}) {
    const std::vector<uint8_t> data = NoiseBytes(size, static_cast<uint32_t>(size));
    const std::vector<uint8_t> stream = CompressBuffer(data.data(), data.size(), 3);
    EXPECT_EQ(stream, Deflate(data)) << size;
    EXPECT_EQ(DecompressBuffer(stream.data(), stream.size(), data.size()), data) << size;
  }
}

TEST(ZLibBuffers, RefuseLengthsZlibCannotCountInsteadOfCuttingThem) {
  // Only the first few bytes exist: a routine that cut the length to its low 32 bits would read
  // just those and report success with a stream or result of the wrong length.
  const std::vector<uint8_t> data = NoiseBytes(16, 1);
  const std::vector<uint8_t> stream = Deflate(data);
  const size_t past32Bits = (size_t{1} << 32) + 16;
  try {
    CompressBuffer(data.data(), past32Bits, 3);
    ADD_FAILURE() << "compressed 4 GiB + 16 bytes";
  } catch (const EZCompressionError& e) {
    EXPECT_STREQ(e.what(), "buffer error");
  }
  try {
    DecompressBuffer(stream.data(), (size_t{1} << 32) + stream.size(), 0);
    ADD_FAILURE() << "inflated a 4 GiB stream";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "buffer error");
  }
}

TEST(DecompressBuffer, ResultLengthIsWhatTheStreamYieldsWhateverTheExpectedSize) {
  const std::vector<uint8_t> data(100000, 'x');  // inflates far beyond the stream's own length
  const std::vector<uint8_t> stream = Deflate(data);
  for (size_t expected : {size_t{0}, size_t{10}, size_t{100000}, size_t{5000000}})
    EXPECT_EQ(DecompressBuffer(stream.data(), stream.size(), expected), data) << expected;
}

TEST(DecompressBuffer, RefusesAStreamThatInflatesPastTheLimit) {
  const std::vector<uint8_t> data(100000, 'x');
  const std::vector<uint8_t> stream = Deflate(data);
  EXPECT_EQ(DecompressBuffer(stream.data(), stream.size(), 10, data.size()), data);
  for (size_t limit : {size_t{0}, size_t{99999}}) {
    try {
      DecompressBuffer(stream.data(), stream.size(), data.size(), limit);
      ADD_FAILURE() << "inflated past " << limit;
    } catch (const EZInflateLimitError& e) {
      EXPECT_EQ(e.Limit(), limit);
      EXPECT_EQ(std::string(e.what()), "the data inflates to more than " + std::to_string(limit) + " bytes");
    }
  }
}

TEST(ZeroBomb, InflatesToItsSizeInZeros) {
  const std::vector<uint8_t> bomb = testing::ZeroBomb(3);
  EXPECT_LT(bomb.size(), 8000u);
  EXPECT_EQ(DecompressBuffer(bomb.data(), bomb.size(), 0), std::vector<uint8_t>(3 << 20, 0));
}

TEST(DecompressBuffer, IgnoresBytesAfterTheEndOfTheStream) {
  std::vector<uint8_t> stream = Deflate({1, 2, 3});
  stream.insert(stream.end(), {9, 9, 9, 9});
  EXPECT_EQ(DecompressBuffer(stream.data(), stream.size(), 3), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(DecompressBuffer, FailuresCarryZlibsText) {
  const std::vector<uint8_t> good = Deflate(NoiseBytes(5000, 7));
  std::vector<uint8_t> damaged = good;
  for (size_t i = 10; i < 40; ++i) damaged[i] ^= 0x5A;
  std::vector<uint8_t> badHeader = good;
  badHeader[0] = 0x12;
  struct Case {
    const char* name;
    std::vector<uint8_t> stream;
    const char* message;
  } cases[] = {
      {"cut short", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "buffer error"},
      {"empty", {}, "buffer error"},
      {"damaged", damaged, "data error"},
      {"wrong header", badHeader, "data error"},
  };
  for (const Case& c : cases) {
    try {
      DecompressBuffer(c.stream.data(), c.stream.size(), 5000);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const EZDecompressionError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
  }
}

}  // namespace
}  // namespace kestrel
