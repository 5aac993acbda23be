#include "archive/zbuffer.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace kestrel {
namespace {

constexpr size_t RoundUp256(size_t n) { return (n + 255) / 256 * 256; }

// zlib counts input in uInt; a longer buffer would be cut silently to its low 32 bits and the
// stream would hold only that remainder. No archive entry comes near this (they stay below 2 GiB).
void RequireZLibSize(size_t size, bool compressing) {
  if (size <= std::numeric_limits<uInt>::max()) return;
  if (compressing) throw EZCompressionError(Z_BUF_ERROR, ZLibErrorText(Z_BUF_ERROR));
  throw EZDecompressionError(Z_BUF_ERROR, ZLibErrorText(Z_BUF_ERROR));
}

// Deflate can expand nothing by more than about 1032:1; a stream's first buffer never needs to be
// larger, whatever size a table claims, so a wild size cannot make us reserve gigabytes up front.
constexpr size_t kMaxInflateRatio = 1032;
// Larger entries still inflate whole; their buffer just grows from here.
constexpr size_t kMaxFirstBuffer = size_t{256} << 20;

EZInflateLimitError InflateLimitError(size_t maxSize) {
  return EZInflateLimitError(maxSize, "the data inflates to more than " + std::to_string(maxSize) + " bytes");
}

}  // namespace

EZInflateLimitError::EZInflateLimitError(size_t limit, const std::string& message)
    : EZDecompressionError(Z_BUF_ERROR, message), limit_(limit) {}

std::string ZLibErrorText(int code) {
  switch (code) {
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "zlib error " + std::to_string(code);
  }
}

std::vector<uint8_t> CompressBuffer(const uint8_t* data, size_t size, int levelIndex) {
  static constexpr int kLevels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9};
  const int level = kLevels[std::clamp(levelIndex, 0, 3)];
  RequireZLibSize(size, true);

  z_stream zs{};
  int rc = deflateInit(&zs, level);
  if (rc != Z_OK) throw EZCompressionError(rc, ZLibErrorText(rc));

  std::vector<uint8_t> out(std::max<size_t>(RoundUp256(size + size / 10 + 12), 256));
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = static_cast<uInt>(size);
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  for (;;) {
    rc = deflate(&zs, Z_FINISH);
    if (rc == Z_STREAM_END) break;
    if (rc < 0 && rc != Z_BUF_ERROR) {
      deflateEnd(&zs);
      throw EZCompressionError(rc, ZLibErrorText(rc));
    }
    // Not finished: the output is full. Give deflate more room and let it go on.
    const size_t used = zs.total_out;
    out.resize(out.size() + 256);
    zs.next_out = out.data() + used;
    zs.avail_out = static_cast<uInt>(out.size() - used);
  }
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

std::vector<uint8_t> DecompressBuffer(const uint8_t* data, size_t size, size_t expectedSize) {
  return DecompressBuffer(data, size, expectedSize, std::numeric_limits<size_t>::max() - 1);
}

std::vector<uint8_t> DecompressBuffer(const uint8_t* data, size_t size, size_t expectedSize, size_t maxSize) {
  RequireZLibSize(size, false);
  const size_t step = std::max<size_t>(RoundUp256(size), 256);
  // One byte of room past the limit tells a stream that ends there from one that goes on.
  const size_t room = std::min(maxSize, std::numeric_limits<size_t>::max() - 1) + 1;
  const size_t first = std::min(
      room, expectedSize ? std::min({expectedSize, size * kMaxInflateRatio + 64, kMaxFirstBuffer}) : step);

  z_stream zs{};
  int rc = inflateInit(&zs);
  if (rc != Z_OK) throw EZDecompressionError(rc, ZLibErrorText(rc));

  std::vector<uint8_t> out(std::max<size_t>(first, 1));
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = static_cast<uInt>(size);
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  for (;;) {
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    if (rc == Z_NEED_DICT) rc = Z_DATA_ERROR;
    if (rc < 0 && !(rc == Z_BUF_ERROR && zs.avail_out == 0)) {
      // A stream cut short stops with input exhausted and room to spare: "buffer error".
      inflateEnd(&zs);
      throw EZDecompressionError(rc, ZLibErrorText(rc));
    }
    if (zs.avail_out == 0) {
      const size_t used = zs.total_out;
      if (used >= room) {
        inflateEnd(&zs);
        throw InflateLimitError(maxSize);
      }
      out.resize(std::min(out.size() + step, room));
      zs.next_out = out.data() + used;
      zs.avail_out = static_cast<uInt>(out.size() - used);
    } else if (zs.avail_in == 0) {
      // Input used up, room left, no end of stream: inflate can make no more progress.
      inflateEnd(&zs);
      throw EZDecompressionError(Z_BUF_ERROR, ZLibErrorText(Z_BUF_ERROR));
    }
  }
  inflateEnd(&zs);
  if (zs.total_out > maxSize) throw InflateLimitError(maxSize);
  out.resize(zs.total_out);
  return out;
}

}  // namespace kestrel
