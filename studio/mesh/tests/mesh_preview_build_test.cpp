// Building an entry's model: where textures come from, what is released, what stays after a
// failure, and the messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/testing/mas_builder.h"
#include "studio/mesh/tests/recording_gl.h"
#include "studio/mesh/tests/sample_meshes.h"
#include "studio/image/testing/image_writers.h"
#include "studio/mesh/mesh_preview_build.h"

namespace kestrel::testing {
namespace {

// A mesh of one triangle per material, each material naming `textures[i]` ("" for none).
std::vector<uint8_t> MeshNaming(const std::vector<std::string>& textures, MeshLayout layout = MeshLayout::MTS410) {
  TestMesh mesh;
  for (size_t i = 0; i < textures.size(); ++i) {
    mesh.Materials.push_back(Material("M" + std::to_string(i), textures[i].empty() ? std::vector<MeshBitmap>{}
                                                                                   : std::vector{Bitmap(textures[i])}));
    MeshObject object;
    object.Vertices = {MeshVertex(0, 0, 0), MeshVertex(1, 0, 0), MeshVertex(0, 1, 0)};
    mesh.Objects.push_back(object);
    mesh.Polygons.push_back(MeshTriangle(0, 1, 2, static_cast<int32_t>(i)));
  }
  return mesh.Bytes(layout);
}

std::vector<uint8_t> BmpOf(uint32_t argb) { return kestrel::testing::SolidBmp(argb, 2, 2); }

class MeshPreviewBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_.ArchivePath = dir_ / "CARS.MAS";
    source_.ScratchDirectory = dir_ / "scratch/$KSTRL$";
    source_.ReadEntry = [this](int index) -> std::optional<std::vector<uint8_t>> {
      if (!entries_.count(index)) return std::nullopt;
      return entries_[index].second;
    };
    source_.FindEntry = [this](const std::string& name) {
      for (const auto& [index, entry] : entries_)
        if (entry.first == name) return index;
      return -1;
    };
    source_.ExtractEntry = [this](int index, const std::string& path) {
      extracted_.push_back(path);
      WriteFileBytes(path, entries_.at(index).second);
      return true;
    };
    hooks_.DecoderError = [this](const std::string& m) { said_.push_back("decoder: " + m); };
    hooks_.PlainError = [this](const std::string& m) { said_.push_back("plain: " + m); };
    hooks_.TextureError = [this](const std::string& c, const std::string& m) { said_.push_back(c + ": " + m); };
    hooks_.Status = [this](const std::string& s) { status_.push_back(s); };
  }

  MeshPreviewResult Show(int index) { return BuildMeshPreview(index, view_, source_, hooks_, gl_, gl_); }
  // The colour of the first pixel of the upload that made `texture`.
  uint8_t RedOf(uint32_t texture) const {
    for (const auto& upload : gl_.uploads)
      if (upload.name == texture) return upload.pixels.at(0);
    ADD_FAILURE() << "no upload made texture " << texture;
    return 0;
  }

  TempDir dir_;
  std::map<int, std::pair<std::string, std::vector<uint8_t>>> entries_;  // index: name, bytes
  MeshPreviewSource source_;
  MeshPreviewHooks hooks_;
  RecordingGL gl_;
  MeshViewState view_;
  std::vector<std::string> said_, status_, extracted_;
};

TEST_F(MeshPreviewBuildTest, TexturesComeFromBesideTheArchiveFirstThenFromTheArchive) {
  entries_[0] = {"CAR.MTS", MeshNaming({"BESIDE.BMP", "INSIDE.BMP", "NOWHERE.BMP", "", "lower.bmp"})};
  entries_[1] = {"BESIDE.BMP", BmpOf(0xFF100000)};
  entries_[2] = {"INSIDE.BMP", BmpOf(0xFF200000)};
  WriteFileBytes(dir_ / "BESIDE.BMP", BmpOf(0xFF300000));
  WriteFileBytes(dir_ / "LOWER.BMP", BmpOf(0xFF400000));  // found whatever the letter case

  ASSERT_EQ(Show(0), MeshPreviewResult::Built);
  ASSERT_EQ(view_.MeshTextures.size(), 5u);
  EXPECT_EQ(RedOf(view_.MeshTextures[0]), 0x30);
  EXPECT_EQ(RedOf(view_.MeshTextures[1]), 0x20);
  EXPECT_EQ(view_.MeshTextures[2], 0u);  // white and silent
  EXPECT_EQ(view_.MeshTextures[3], 0u);
  EXPECT_EQ(RedOf(view_.MeshTextures[4]), 0x40);
  EXPECT_TRUE(said_.empty());
  EXPECT_EQ(status_, (std::vector<std::string>{"Loading textures", ""}));

  // The extracted file went again; the user's file stayed.
  EXPECT_EQ(extracted_, std::vector<std::string>{dir_ / "scratch/$KSTRL$/INSIDE.BMP"});
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "scratch/$KSTRL$"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "BESIDE.BMP"));

  // Each list binds its material's texture.
  ASSERT_EQ(view_.MeshLists.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(gl_.lists[view_.MeshLists[i]].bound, std::vector{view_.MeshTextures[i]});
}

TEST_F(MeshPreviewBuildTest, AnExtractedTextureTheLoaderRefusesIsDeletedToo) {
  entries_[0] = {"CAR.MTS", MeshNaming({"BAD.TGA"})};
  entries_[1] = {"BAD.TGA", {1, 2, 3}};
  ASSERT_EQ(Show(0), MeshPreviewResult::Built);
  EXPECT_EQ(view_.MeshTextures, std::vector<uint32_t>{0});
  ASSERT_EQ(said_.size(), 1u);
  EXPECT_EQ(said_[0].rfind("TGA File Error: Couldn't read file", 0), 0u) << said_[0];
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "scratch/$KSTRL$"));
}

TEST_F(MeshPreviewBuildTest, TextureNamesThatWouldLeaveTheirFolderAreNeverExtracted) {
  // Extracting to such a name would replace, and then delete, a file outside the scratch folder.
  entries_[0] = {"CAR.MTS", MeshNaming({"../VICTIM.BMP", "..", "A/B.BMP"})};
  entries_[1] = {"../VICTIM.BMP", BmpOf(0xFF500000)};
  entries_[2] = {"..", BmpOf(0xFF500000)};
  entries_[3] = {"A/B.BMP", BmpOf(0xFF500000)};
  ASSERT_EQ(Show(0), MeshPreviewResult::Built);
  EXPECT_TRUE(extracted_.empty());
  EXPECT_EQ(view_.MeshTextures, (std::vector<uint32_t>{0, 0, 0}));
}

TEST_F(MeshPreviewBuildTest, TheNextMeshReleasesListsAndTexturesOfThePreviousOne) {
  entries_[0] = {"ONE.MTS", MeshNaming({"T.BMP", ""})};
  entries_[1] = {"TWO.MTS", MeshNaming({"T.BMP"}, MeshLayout::Old)};
  entries_[2] = {"T.BMP", BmpOf(0xFF600000)};
  ASSERT_EQ(Show(0), MeshPreviewResult::Built);
  const std::vector<uint32_t> firstLists = view_.MeshLists;
  const uint32_t firstTexture = view_.MeshTextures[0];

  view_.RotX = 33;  // the camera belongs to the view, not to the mesh
  ASSERT_EQ(Show(1), MeshPreviewResult::Built);
  EXPECT_EQ(gl_.deletedLists, firstLists);
  EXPECT_EQ(gl_.deletedTextures, std::vector<uint32_t>{firstTexture});  // texture name 0 is never deleted
  EXPECT_EQ(view_.MeshLists.size(), 1u);
  EXPECT_EQ(gl_.lists.size(), 1u);
  EXPECT_EQ(view_.RotX, 33);
  EXPECT_EQ(view_.CurrentMeshEntry, 1);
}

TEST_F(MeshPreviewBuildTest, FailuresKeepThePreviousModelAndSayWhy) {
  entries_[0] = {"GOOD.MTS", MeshNaming({""})};
  std::vector<uint8_t> broken = MeshNaming({""});
  broken.resize(40);
  entries_[1] = {"BROKEN.MTS", broken};
  ASSERT_EQ(Show(0), MeshPreviewResult::Built);
  const std::vector<uint32_t> lists = view_.MeshLists;

  EXPECT_EQ(Show(1), MeshPreviewResult::NotDecoded);
  ASSERT_EQ(said_.size(), 1u);
  EXPECT_EQ(said_[0].rfind("decoder: MTS 4.10 decoder error : ", 0), 0u) << said_[0];
  EXPECT_EQ(view_.MeshLists, lists);
  EXPECT_TRUE(gl_.deletedLists.empty());

  said_.clear();
  EXPECT_EQ(Show(7), MeshPreviewResult::NotRead);
  EXPECT_EQ(said_, std::vector<std::string>{"plain: ShowMTS: Error"});
  EXPECT_EQ(view_.MeshLists, lists);
  EXPECT_EQ(view_.CurrentMeshEntry, 7);  // recorded also when the build fails
}

TEST_F(MeshPreviewBuildTest, WithTexturesOffNothingIsLoadedOrBound) {
  entries_[0] = {"CAR.MTS", MeshNaming({"T.BMP"})};
  entries_[1] = {"T.BMP", BmpOf(0xFF700000)};
  view_.TexturesOn = false;
  ASSERT_EQ(Show(0), MeshPreviewResult::Built);
  EXPECT_TRUE(gl_.uploads.empty());
  EXPECT_TRUE(status_.empty());
  EXPECT_TRUE(gl_.lists[view_.MeshLists[0]].bound.empty());
}

}  // namespace
}  // namespace kestrel::testing
