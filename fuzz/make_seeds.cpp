// Writes the fuzz targets' seed corpora, one folder per target, made by the project's own
// test-side writers: small well-formed files and a few that lie, so that the fuzzer starts from
// inputs that already pass the first checks.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/byte_reader.h"
#include "archive/testing/mas_builder.h"
#include "studio/mesh/testing/mts_builder.h"
#include "studio/soundbank/testing/bank_builder.h"
#ifdef KESTREL_FUZZ_IMAGES
#include "studio/image/png_writer.h"
#include "studio/image/testing/image_variants.h"
#endif
#ifdef KESTREL_FUZZ_AUDIO
#include "studio/audio/mpeg_audio.h"
#include "studio/audio/testing/tone.h"
#endif

using namespace kestrel;
using namespace kestrel::testing;

namespace {

std::string g_root;

void Seed(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string folder = g_root + "/" + target;
  ::mkdir(folder.c_str(), 0777);
  WriteFileBytes(folder + "/" + name, bytes);
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The record prefix the entry and image targets read: a stored flag and an UncompressedSize.
std::vector<uint8_t> Record(bool stored, int32_t uncompressed) {
  ByteWriter w;
  w.U8(stored ? 1 : 0);
  w.I32(uncompressed);
  return w.Bytes();
}

std::vector<uint8_t> Text(const char* text) { return BytesOf(text); }

void ArchiveSeeds() {
  TestArchive small;
  small.Entries = {TestEntry("BODY.BMP", NoiseBytes(40, 1)), TestEntry("a.mts", Text("mesh mesh mesh mesh"), 17),
                   TestEntry("RAW.TGA", NoiseBytes(30, 2), 20, true)};
  Seed("archive_table", "small.mas", small.Build());

  TestArchive lying = small;
  lying.Entries[0].Offset = 1 << 20;
  lying.Entries[1].UncompressedSize = 3;
  lying.Entries[2].CompressedSize = -1;
  Seed("archive_table", "lying.mas", lying.Build());

  TestArchive empty;
  Seed("archive_table", "empty.mas", empty.Build());

  TestArchive damaged;
  TestEntry broken("BROKEN.BMP", NoiseBytes(64, 3));
  broken.RawBytes = Deflate(NoiseBytes(64, 3));
  (*broken.RawBytes)[5] ^= 0x55;
  damaged.Entries = {broken};
  Seed("archive_table", "damaged.mas", damaged.Build());
}

void EntrySeeds() {
  const std::vector<uint8_t> text = Text("the quick brown fox jumps over the lazy dog, again and again and again");
  Seed("entry_decode", "deflated", Concat(Record(false, static_cast<int32_t>(text.size())), Deflate(text)));
  Seed("entry_decode", "stored", Concat(Record(true, static_cast<int32_t>(text.size())), text));
  Seed("entry_decode", "zeros", Concat(Record(false, 4000), Deflate(std::vector<uint8_t>(4000, 0))));
  Seed("entry_decode", "lying-size", Concat(Record(false, 2), Deflate(NoiseBytes(100, 4))));
}

std::vector<uint8_t> OldImage(int32_t width, int32_t height, bool stored) {
  const size_t row = static_cast<size_t>((width * 3 + 3) / 4 * 4);
  const std::vector<uint8_t> pixels = NoiseBytes(row * static_cast<size_t>(height), 5);
  const TestEntry entry = testing::OldImage("SEED", width, height, pixels, stored);
  return Concat(Record(stored, static_cast<int32_t>(pixels.size() + 16)), *entry.RawBytes);
}

void OldImageSeeds() {
  Seed("old_image", "stored-3x2", OldImage(3, 2, true));
  Seed("old_image", "deflated-5x4", OldImage(5, 4, false));
  Seed("old_image", "deflated-16x16", OldImage(16, 16, false));
}

TestMesh SmallMesh() {
  TestMesh mesh;
  MeshMaterial body;
  body.Name = "BODY";
  MeshBitmap bitmap;
  bitmap.Name = "BODY.BMP";
  bitmap.SwitchMode = 2;
  bitmap.Frames = {1, 2};
  body.Bitmaps = {bitmap};
  body.SwitchTextures = {{"SWITCH", 1, {1, 2}, 0, 0}};
  body.UnkItems = 1;
  MeshMaterial glass;
  glass.Name = "GLASS";
  mesh.Materials = {body, glass};
  MeshObject a;
  a.Vertices = {MeshVertex(0, 0, 0), MeshVertex(1, 0, 0), MeshVertex(1, 1, 0), MeshVertex(0, 1, 0)};
  a.StripIndices = {0, 1, 2, 3};
  MeshObject b;
  b.Vertices = {MeshVertex(0, 2, 0), MeshVertex(1, 2, 0), MeshVertex(0, 3, 0)};
  b.StripIndices = {0, 1, 2};
  mesh.Objects = {a, b};
  mesh.Polygons = {MeshTriangle(0, 1, 2, 0), MeshTriangle(0, 2, 3, 0), MeshTriangle(0, 1, 2, 1)};
  mesh.FaceNormals = {{0, 0, -1, 0}, {0, 0, 1, 0}};
  mesh.WorldPos = {1, 2, 3};
  return mesh;
}

void MeshSeeds() {
  const TestMesh mesh = SmallMesh();
  Seed("mesh", "small-410.mts", mesh.Bytes(MeshLayout::MTS410));
  Seed("mesh", "small-old.mts", mesh.Bytes(MeshLayout::Old));
  TestMesh lying = mesh;
  lying.NumPolygons = 1000;
  lying.Polygons.push_back(MeshTriangle(7, 8, 9, 5));
  Seed("mesh", "lying-410.mts", lying.Bytes(MeshLayout::MTS410));
  Seed("mesh", "lying-old.mts", lying.Bytes(MeshLayout::Old));
}

void BankSeeds() {
  TestBank bank;
  bank.Samples = {{"ENGINE_IDLE_0001", NoiseBytes(60, 6), {1, 2, 3, 4}},
                  {"HORN", NoiseBytes(20, 7), {}},
                  {"crash.mp2", NoiseBytes(7, 8), {9, 9, 9, 9}}};
  bank.Trailer = {0xAA, 0xBB};
  Seed("sound_bank", "three.sdt", bank.Build());
  TestBank reordered = bank;
  reordered.FileOrder = {2, 0, 1};
  reordered.Samples[1].DataOffset = 48;
  reordered.Samples[0].GapAfter = 4;
  Seed("sound_bank", "reordered.sdt", reordered.Build());
  Seed("sound_bank", "empty.sdt", TestBank{}.Build());
}

void ImageSeeds() {
#ifdef KESTREL_FUZZ_IMAGES
  int n = 0;
  for (const ImageVariant& v : ImageVariants()) {
    const char* target = v.Kind == ImageKind::Bmp ? "bmp" : v.Kind == ImageKind::Targa ? "targa" : "jpeg";
    Seed(target, "variant-" + std::to_string(n), v.Bytes);
    // The same pixels as PNG: seeds with and without alpha, of every size the variants have.
    try {
      Seed("png", "variant-" + std::to_string(n), EncodePng(DecodeImage(v.Kind, v.Bytes.data(), v.Bytes.size())));
    } catch (const ImageDecodeError&) {
    }
    ++n;
  }
#endif
}

void AudioSeeds() {
#ifdef KESTREL_FUZZ_AUDIO
  struct Format {
    int rate, channels, bitRate;
    audio::ChannelMode mode;
  } formats[] = {{22050, 1, 64, audio::ChannelMode::Mono},
                 {44100, 2, 192, audio::ChannelMode::JointStereo},
                 {32000, 2, 128, audio::ChannelMode::Stereo}};
  for (const Format& f : formats) {
    const audio::PcmAudio tone = audio::testing::Tone(f.rate, f.channels, 440, 0.05);
    Seed("mpeg_audio", "tone-" + std::to_string(f.rate) + "-" + std::to_string(f.channels),
         audio::EncodeMp2(tone, {f.mode, f.bitRate}));
  }
#endif
}

}  // namespace

void ModManifestSeeds() {
  const std::string hash(64, 'a');
  Seed("mod_manifest", "two-carried",
       BytesOf("kestrel-mod-package 1\ntitle A\\x20mod\nchanged A.BMP 0 " + hash + "\nremoved OLD.TGA 0 " + hash +
               "\nadded B.TGA\nkeep TRACK.MTS 0\ncarry 1\nkeep TRACK.MTS 1\ncarry 2\nend\n"));
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  g_root = argv[1];
  ::mkdir(g_root.c_str(), 0777);
  ArchiveSeeds();
  EntrySeeds();
  OldImageSeeds();
  MeshSeeds();
  BankSeeds();
  ImageSeeds();
  AudioSeeds();
  ModManifestSeeds();
  return 0;
}
