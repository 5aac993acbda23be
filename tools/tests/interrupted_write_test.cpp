// Every console writer that replaces a file a user has, stopped part-way: killed at many moments,
// or held to many file size limits. The user's file is always the old one or the whole new one.
#include <gtest/gtest.h>

#include "archive/testing/interrupted_writes.h"
#include "archive/testing/mas_builder.h"
#include "studio/soundbank/testing/bank_builder.h"
#include "studio/audio/mpeg_audio.h"
#include "studio/audio/testing/tone.h"
#include "studio/audio/wav_file.h"
#include "studio/image/testing/image_writers.h"
#include "studio/mesh/testing/mts_builder.h"

namespace kestrel::testing {
namespace {

// A mesh large enough that writing its text takes a while: three objects of 6,000 vertices.
std::vector<uint8_t> LargeMesh(MeshLayout layout) {
  TestMesh mesh;
  for (int m = 0; m < 3; ++m) {
    MeshMaterial material;
    material.Name = "MATERIAL" + std::to_string(m);
    mesh.Materials.push_back(material);
    MeshObject object;
    for (int v = 0; v < 6000; ++v)
      object.Vertices.push_back(MeshVertex(v * 0.25f, m * 1.5f, v % 7 * 0.125f, 0, 1, 0, v % 3 * 0.5f, 0.5f));
    for (int v = 0; v + 2 < 6000; v += 2)
      mesh.Polygons.push_back(MeshTriangle(static_cast<uint16_t>(v), static_cast<uint16_t>(v + 1),
                                           static_cast<uint16_t>(v + 2), m));
    mesh.Objects.push_back(object);
  }
  return mesh.Bytes(layout);
}

const std::vector<std::string> kFixedDate = {"SOURCE_DATE_EPOCH=1000000000"};

InterruptedWriter CliWriter(std::vector<std::string> args, std::string target,
                            std::function<void(const TempDir&)> prepare) {
  return {KESTREL_CLI, std::move(args), std::move(target), std::move(prepare), kFixedDate, {}};
}

void LooseMesh(const TempDir& dir) { WriteFileBytes(dir / "CAR.MTS", LargeMesh(MeshLayout::MTS410)); }

void MeshArchive(const TempDir& dir) {
  TestArchive a;
  for (int i = 0; i < 6; ++i)
    a.Entries.push_back(TestEntry("CAR" + std::to_string(i) + ".MTS",
                                  LargeMesh(i % 2 ? MeshLayout::Old : MeshLayout::MTS410), 17, true));
  a.WriteTo(dir / "CARS.MAS");
}

std::vector<InterruptedWriter> MeshWriters() {
  return {
      CliWriter({"vrml", "CAR.MTS", "CAR.WRL"}, "CAR.WRL", LooseMesh),
      CliWriter({"mesh-dump", "CAR.MTS"}, "CAR.txt", LooseMesh),
      CliWriter({"vrml-all", "CARS.MAS", "ALL.WRL"}, "ALL.WRL", MeshArchive),
  };
}

TEST(InterruptedWrites, MeshOutputsKilledKeepTheOldFileOrTheNew) {
  for (const InterruptedWriter& w : MeshWriters()) {
    SCOPED_TRACE(w.args[0]);
    ExpectKillsKeepOldOrNew(w);
  }
}

TEST(InterruptedWrites, MeshOutputsUnderAFileSizeLimitReportItAndKeepTheOldFile) {
  for (const InterruptedWriter& w : MeshWriters()) {
    SCOPED_TRACE(w.args[0]);
    ExpectFileSizeLimitsKeepOldOrNew(w);
  }
}

// The bank rewrite: a large bank whose first sample grows, so that every byte after it moves.
void LargeBank(const TempDir& dir) {
  TestBank bank;
  for (int i = 0; i < 40; ++i)
    bank.Samples.push_back({"SAMPLE" + std::to_string(i), NoiseBytes(200000, static_cast<uint32_t>(i)), {}});
  bank.WriteTo(dir / "BANK.SDT");
  WriteFileBytes(dir / "NEW.MP2", NoiseBytes(300000, 99));
}

TEST(InterruptedWrites, SoundBankRewriteKeepsTheOldBankOrTheNew) {
  const InterruptedWriter w = CliWriter({"sdt-import", "BANK.SDT", "0", "NEW.MP2"}, "BANK.SDT", LargeBank);
  ExpectKillsKeepOldOrNew(w);
  ExpectFileSizeLimitsKeepOldOrNew(w);
}

// Archives whose `Unknown` values come from the clock differ from run to run in those four bytes of
// each record alone; a complete new archive is the reference with its own values there.
std::function<bool(const std::vector<uint8_t>&)> SameArchiveButUnknowns(const InterruptedWriter& w) {
  InterruptedWriter plain = w;
  plain.complete = nullptr;
  const std::vector<uint8_t> reference = WithoutUnknowns(RunUninterrupted(plain).bytes);
  return [=](const std::vector<uint8_t>& bytes) { return WithoutUnknowns(bytes) == reference; };
}

// A folder of a few MiB to pack.
void FolderToPack(const TempDir& dir) {
  std::filesystem::create_directory(dir / "SRC");
  for (int i = 0; i < 8; ++i)
    WriteFileBytes(dir / ("SRC/PART" + std::to_string(i) + (i % 2 ? ".BMP" : ".TGA")),
                   NoiseBytes(600000, static_cast<uint32_t>(i)));
}

TEST(InterruptedWrites, PackwellKeepsTheOldArchiveOrWritesTheWholeNewOne) {
  InterruptedWriter w{PACKWELL, {"SRC", "OUT.MAS"}, "OUT.MAS", FolderToPack, {}, {}};
  w.complete = SameArchiveButUnknowns(w);
  ExpectKillsKeepOldOrNew(w);
  ExpectFileSizeLimitsKeepOldOrNew(w);
}

// An F1-2001 archive of large entries to convert over an earlier conversion.
void OldArchive(const TempDir& dir) {
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  for (int i = 0; i < 6; ++i)
    old.Entries.push_back(TestEntry("PART" + std::to_string(i) + ".MTS", NoiseBytes(500000, static_cast<uint32_t>(i)),
                                    1, /*stored=*/i % 2 == 0));
  old.WriteTo(dir / "OLD.MAS");
}

TEST(InterruptedWrites, ConversionKeepsTheOldFileOrWritesTheWholeNewArchive) {
  InterruptedWriter w = CliWriter({"convert", "OLD.MAS", "NEW.MAS"}, "NEW.MAS", OldArchive);
  w.complete = SameArchiveButUnknowns(w);
  w.reportedKeeps = {"temp-"};
  ExpectKillsKeepOldOrNew(w);
  ExpectFileSizeLimitsKeepOldOrNew(w);
}

// Extraction into a folder that holds an earlier copy of an entry, which must survive whole or be
// replaced whole.
void ArchiveOverEarlierCopy(const TempDir& dir) {
  TestArchive a;
  for (int i = 0; i < 6; ++i)
    a.Entries.push_back(TestEntry("PART" + std::to_string(i) + ".BMP", NoiseBytes(800000, static_cast<uint32_t>(i)),
                                  18, /*stored=*/i % 2 == 0));
  a.WriteTo(dir / "A.MAS");
  std::filesystem::create_directory(dir / "OUT");
}

TEST(InterruptedWrites, ExtractionIntoAnExistingFolderKeepsEachEarlierCopyOrTheWholeEntry) {
  for (const char* entry : {"OUT/PART0.BMP", "OUT/PART3.BMP", "OUT/PART5.BMP"}) {
    SCOPED_TRACE(entry);
    const InterruptedWriter w{SPILLWAY, {"A.MAS", "OUT", "/F"}, entry, ArchiveOverEarlierCopy, {}, {}};
    ExpectKillsKeepOldOrNew(w, 10);
    ExpectFileSizeLimitsKeepOldOrNew(w, 6);
  }
}

// A bank whose samples are real layer II sound of several seconds, and a WAV file to put in.
void BankOfSound(const TempDir& dir) {
  TestBank bank;
  for (int i = 0; i < 3; ++i) {
    const audio::PcmAudio tone = audio::testing::Tone(44100, 2, 220.0 * (i + 1), 6);
    bank.Samples.push_back({"TONE" + std::to_string(i), audio::EncodeMp2(tone, {audio::ChannelMode::Stereo, 192}), {}});
  }
  bank.WriteTo(dir / "BANK.SDT");
  WriteFileBytes(dir / "IN.WAV", audio::EncodeWav(audio::testing::Tone(44100, 2, 330, 6)));
}

TEST(InterruptedWrites, SampleOutputsAndTheWavImportKeepTheOldFileOrTheNew) {
  const std::vector<InterruptedWriter> writers = {
      CliWriter({"sdt-export", "BANK.SDT", "1", "OUT.MP2"}, "OUT.MP2", BankOfSound),
      CliWriter({"sdt-wav", "BANK.SDT", "1", "OUT.WAV"}, "OUT.WAV", BankOfSound),
      CliWriter({"sdt-import-wav", "BANK.SDT", "1", "IN.WAV"}, "BANK.SDT", BankOfSound),
  };
  for (const InterruptedWriter& w : writers) {
    SCOPED_TRACE(w.args[0]);
    ExpectKillsKeepOldOrNew(w, 12);
    ExpectFileSizeLimitsKeepOldOrNew(w, 8);
  }
}

// An archive of large entries back to back, as the packers write them, with a picture among them,
// and a file to put in.
void ArchiveToEdit(const TempDir& dir) {
  TestArchive a;
  for (int i = 0; i < 5; ++i)
    a.Entries.push_back(TestEntry("PART" + std::to_string(i) + ".MTS", NoiseBytes(700000, static_cast<uint32_t>(i)),
                                  17, /*stored=*/i % 2 == 0));
  // Noise, so that its PNG stays about as large as the bitmap.
  const TestPicture wall = DrawPicture(600, 600, [](int x, int y) {
    return 0xFF000000u | ((static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u) * 2654435761u >> 8);
  });
  a.Entries.push_back(TestEntry("WALL.BMP", BmpBytes(wall, {}), 18));
  a.WriteTo(dir / "A.MAS");
  WriteFileBytes(dir / "NEW.BIN", NoiseBytes(900000, 42));
}

TEST(InterruptedWrites, ArchiveEditsAndEntryOutputsKeepTheOldFileOrTheNew) {
  const std::vector<InterruptedWriter> writers = {
      CliWriter({"replace", "A.MAS", "PART1.MTS", "NEW.BIN"}, "A.MAS", ArchiveToEdit),
      CliWriter({"add", "A.MAS", "NEW.BIN"}, "A.MAS", ArchiveToEdit),
      CliWriter({"remove", "A.MAS", "#0"}, "A.MAS", ArchiveToEdit),
      CliWriter({"extract", "A.MAS", "PART3.MTS", "OUT.MTS"}, "OUT.MTS", ArchiveToEdit),
      CliWriter({"png", "A.MAS", "WALL.BMP", "WALL.PNG"}, "WALL.PNG", ArchiveToEdit),
  };
  for (const InterruptedWriter& w : writers) {
    SCOPED_TRACE(w.args[0]);
    ExpectKillsKeepOldOrNew(w, 12);
    ExpectFileSizeLimitsKeepOldOrNew(w, 8);
  }
}

}  // namespace
}  // namespace kestrel::testing
