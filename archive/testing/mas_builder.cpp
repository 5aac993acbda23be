#include "archive/testing/mas_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "archive/byte_reader.h"
#include "archive/mas_format.h"

namespace kestrel::testing {

TestEntry OldImage(const std::string& name, int32_t width, int32_t height, const std::vector<uint8_t>& pixels,
                   bool stored) {
  ByteWriter w;
  w.I32(width);
  w.I32(height);
  for (int i = 0; i < 8; ++i) w.U8(0xAB);
  const std::vector<uint8_t> body = stored ? pixels : Deflate(pixels);
  w.Raw(body.data(), body.size());
  TestEntry e(name, pixels, 2, stored);
  e.RawBytes = w.Bytes();
  if (!stored) e.UncompressedSize = static_cast<int32_t>(pixels.size() + 16);
  return e;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(data.size());
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, data.data(), data.size(), 9) != Z_OK) throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

std::vector<uint8_t> ZeroBomb(size_t mebibytes) {
  // After a full flush deflate starts afresh on byte bounds, so the bytes it gives for one MiB of
  // zeros are the same for every later MiB: they are made once and repeated.
  const std::vector<uint8_t> zeros(size_t{1} << 20, 0);
  z_stream zs{};
  if (deflateInit(&zs, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
  const auto flushChunk = [&] {
    std::vector<uint8_t> out(compressBound(zeros.size()) + 64);
    zs.next_in = const_cast<Bytef*>(zeros.data());
    zs.avail_in = static_cast<uInt>(zeros.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    if (deflate(&zs, Z_FULL_FLUSH) != Z_OK || zs.avail_in != 0) throw std::runtime_error("deflate failed");
    out.resize(out.size() - zs.avail_out);
    return out;
  };
  std::vector<uint8_t> stream = flushChunk();  // the zlib header and the first MiB
  const std::vector<uint8_t> repeated = flushChunk();
  deflateEnd(&zs);
  for (size_t i = 1; i < mebibytes; ++i) stream.insert(stream.end(), repeated.begin(), repeated.end());
  // An empty final block, then Adler-32 of n zero bytes: 1 in the low half, n mod 65521 above.
  const uint64_t n = static_cast<uint64_t>(std::max<size_t>(mebibytes, 1)) << 20;
  const uint32_t adler = static_cast<uint32_t>((n % 65521) << 16 | 1);
  stream.insert(stream.end(), {0x03, 0x00, static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                               static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)});
  return stream;
}

std::vector<uint8_t> NoiseBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(random());
  return out;
}

std::vector<uint8_t> AsLongAsItsStream() {
  for (uint32_t seed = 1; seed < 20; ++seed) {
    const std::vector<uint8_t> noise = NoiseBytes(2000, seed);
    for (size_t run = 0; run < 1000; ++run) {
      std::vector<uint8_t> data(run, 'r');
      data.insert(data.end(), noise.begin(), noise.end());
      if (Deflate(data).size() == data.size()) return data;
    }
  }
  throw std::runtime_error("no bytes as long as their stream");
}

std::vector<uint8_t> WithoutUnknowns(std::vector<uint8_t> archive) {
  if (archive.size() < kMasHeaderSize) return archive;
  const uint32_t count = ByteReader(archive.data() + 16, 4).U32();
  for (uint64_t i = 0; i < count && kMasHeaderSize + (i + 1) * kMasEntrySize <= archive.size(); ++i)
    std::fill_n(archive.begin() + static_cast<std::ptrdiff_t>(kMasHeaderSize + i * kMasEntrySize + 16), 4, 0);
  return archive;
}

std::vector<uint8_t> BytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> TestArchive::Build() const {
  const uint32_t count = FileCount.value_or(static_cast<uint32_t>(Entries.size()));
  std::vector<std::vector<uint8_t>> stored;
  for (const TestEntry& e : Entries)
    stored.push_back(e.RawBytes ? *e.RawBytes : e.Stored ? e.Data : Deflate(e.Data));

  ByteWriter w;
  w.FixedString(Magic, kMasMagicSize);
  w.U32(count);
  w.U32(0);  // DataAreaSize, patched below
  int32_t offset = 0;
  for (size_t i = 0; i < Entries.size(); ++i) {
    const TestEntry& e = Entries[i];
    w.I32(e.FileType);
    w.I32(e.Offset.value_or(offset));
    w.I32(e.UncompressedSize.value_or(e.Stored ? static_cast<int32_t>(stored[i].size())
                                                 : static_cast<int32_t>(e.Data.size())));
    w.I32(e.CompressedSize.value_or(static_cast<int32_t>(stored[i].size())));
    w.I32(e.Unknown);
    w.FixedString(e.Name, kMasNameSize);
    offset += static_cast<int32_t>(stored[i].size());
  }
  const size_t dataStart = w.Size();
  for (const auto& s : stored) w.Raw(s.data(), s.size());
  w.PatchU32(20, static_cast<uint32_t>(w.Size() - dataStart));
  std::vector<uint8_t> bytes = std::move(w.Bytes());
  if (TruncateTo && *TruncateTo < bytes.size()) bytes.resize(*TruncateTo);
  return bytes;
}

void TestArchive::WriteTo(const std::string& path) const { WriteFileBytes(path, Build()); }

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; give write access back before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::set<std::string> NamesIn(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(directory)) names.insert(e.path().filename().string());
  return names;
}

}  // namespace kestrel::testing
