// Times kestrel-cli import-all against png-all over one archive of 200 pictures of 256 x 256
// (24-bit and 8-bit bitmaps, 32-bit run-length Targa files, JPEG files at quality 85, in turn):
// import-all on png-all's untouched folder (every picture read and compared, nothing written), and
// on a folder where every picture was painted (every entry encoded anew, one rewrite). Prints the
// best of three rounds and the ratios to png-all. It asserts nothing.
//
//   import_bench [DIRECTORY]   the archive and pictures are made in DIRECTORY (default: the
//                              system's temporary directory) and removed afterwards
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"
#include "studio/image/picture_import.h"
#include "studio/image/png_writer.h"
#include "studio/image/testing/image_writers.h"
#include "studio/image/testing/image_variants.h"

namespace {

using namespace kestrel;
using Clock = std::chrono::steady_clock;

constexpr int kPictures = 200, kSide = 256, kRounds = 3;

double Seconds(const std::vector<std::string>& args) {
  const Clock::time_point start = Clock::now();
  const testing::ProgramRun ran = testing::RunProgram(KESTREL_CLI, args);
  if (ran.status != 0) {
    std::fprintf(stderr, "import_bench: kestrel-cli %s failed\n%s", args[0].c_str(), ran.err.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

testing::TestPicture Texture(int n) {
  // 8-bit bitmaps need at most 256 colours: levels in steps of 64.
  const bool few = n % 4 == 1;
  return testing::DrawPicture(kSide, kSide, [n, few](int x, int y) {
    uint32_t r = static_cast<uint32_t>((x + n * 7) % 256), g = static_cast<uint32_t>((y * 3 + n) % 256),
             b = static_cast<uint32_t>((x ^ y) % 256);
    if (few) r &= 0xC0, g &= 0xC0, b &= 0xC0;
    return 0xFF000000u | r << 16 | g << 8 | b;
  });
}

testing::TestArchive MakeArchive() {
  testing::TestArchive archive;
  for (int n = 0; n < kPictures; ++n) {
    const testing::TestPicture p = Texture(n);
    const std::string name = "TEX" + std::to_string(n);
    switch (n % 4) {
      case 0:
        archive.Entries.push_back({name + ".BMP", testing::BmpBytes(p, {}), 18});
        break;
      case 1:
        archive.Entries.push_back({name + ".BMP", testing::BmpBytes(p, {.Bits = 8}), 18});
        break;
      case 2:
        archive.Entries.push_back({name + ".TGA", testing::TgaBytes(p, {.ImageType = 10, .Bits = 32}), 20});
        break;
      default:
        archive.Entries.push_back({name + ".JPG", testing::JpegBytes(p, {.Quality = 85, .HalfColour = true}), 22});
    }
  }
  return archive;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path base = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  const std::filesystem::path dir = base / ("import_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string archive = dir / "TRACK.MAS", pictures = dir / "pictures", painted = dir / "painted";
  const testing::TestArchive made = MakeArchive();
  made.WriteTo(archive);

  double pngAll = 1e9, untouched = 1e9, repainted = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    std::filesystem::remove_all(pictures);
    pngAll = std::min(pngAll, Seconds({"png-all", archive, pictures}));
    untouched = std::min(untouched, Seconds({"import-all", archive, pictures}));
    // Every picture painted: mirrored, so that every entry changes.
    std::filesystem::create_directories(painted);
    for (const auto& item : std::filesystem::directory_iterator(pictures)) {
      const std::vector<uint8_t> png = testing::ReadFileBytes(item.path());
      const RgbaImage picture = DecodePictureFile(item.path().filename().string(), png.data(), png.size());
      testing::WriteFileBytes(painted / item.path().filename(), EncodePng(testing::Mirrored(picture)));
    }
    repainted = std::min(repainted, Seconds({"import-all", archive, painted}));
    made.WriteTo(archive);  // back to the unpainted entries for the next round
  }
  std::printf("%d pictures of %d x %d, best of %d rounds\n", kPictures, kSide, kSide, kRounds);
  std::printf("  png-all                         %7.3f s\n", pngAll);
  std::printf("  import-all, untouched folder    %7.3f s   %.2f x png-all\n", untouched, untouched / pngAll);
  std::printf("  import-all, every one painted   %7.3f s   %.2f x png-all\n", repainted, repainted / pngAll);
  std::filesystem::remove_all(dir);
  return 0;
}
