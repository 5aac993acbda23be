// kestrel-cli's import-image and import-all: pictures (PNG, BMP, Targa, JPEG) into image entries,
// each written in its entry's own format, in one rewrite of the archive or not at all.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/archive_editing.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/mas_format.h"
#include "archive/zbuffer.h"
#include "cli_command.h"
#include "entry_argument.h"
#include "image_entry.h"
#include "studio/image/picture_import.h"

namespace kestrel::cli {
namespace {

std::string NotAPicture(const std::string& path) { return path + " is not a .png, .bmp, .tga or .jpg picture"; }

// The picture file decoded, or the reason it cannot be.
std::optional<std::string> ReadPicture(const std::string& path, RgbaImage& picture) {
  return PictureFailure([&] {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    picture = DecodePictureFile(FileNameOf(path), bytes.data(), bytes.size());
  });
}

// `picture` in the format of entry `index`, or the reason it cannot be written so.
std::optional<std::string> Convert(const LoadedArchive& archive, size_t index, const RgbaImage& picture,
                                   EncodedPicture& result) {
  const ImageKind kind = *ImageKindOfEntryType(archive.Table[index].FileType);
  std::vector<uint8_t> entry;
  if (auto failure = ReadEntry(archive, index, entry)) return failure;
  return PictureFailure([&] {
    try {
      result = EncodeLikeEntry(kind, entry, picture);
    } catch (const ImageDecodeError& e) {
      throw std::runtime_error(std::string("the entry's present picture cannot be read (") + e.what() + ")");
    }
  });
}

void WarnAll(const std::string& entryName, const EncodedPicture& result) {
  for (const std::string& warning : result.Warnings) Warn(PrintableName(entryName) + ": " + warning);
}

int Rewrite(const LoadedArchive& archive, std::vector<EntryReplacement>& replacements) {
  return Guarded<EArchiveEditError, EZLibError>([&] {
    CheckWritableIfExists(archive.Path);
    ReplaceEntries(archive, replacements);
    return 0;
  });
}

// The file's name less its extension, upper-cased, as png-all's output names an entry.
std::string StemOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return UpperCaseAscii(dot == std::string::npos ? name : name.substr(0, dot));
}

// The picture files of `directory` by name (folders and other files left out).
std::vector<std::string> PicturesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(directory)) {
    const std::string name = item.path().filename().string();
    if (IsPictureFileName(name) && item.is_regular_file()) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int RunImportImage(const Args& args) {
  const std::string& picturePath = args[2];
  if (!IsPictureFileName(FileNameOf(picturePath))) return Fail(NotAPicture(picturePath));
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(args[0]);
  if (!archive) return 1;
  const std::optional<size_t> index = ResolveEntryArgument(*archive, args[1]);
  if (!index) return 1;
  const TMAS_FileEntry& entry = archive->Table[*index];
  if (!ImageKindOfEntryType(entry.FileType))
    return Fail(PrintableName(entry.Name()) + " is not an image entry (type " + std::to_string(entry.FileType) + ", " +
                MASTypeName(entry.FileType) + ")");
  RgbaImage picture;
  if (auto failure = ReadPicture(picturePath, picture)) return Fail(picturePath + ": " + *failure);
  EncodedPicture result;
  if (auto failure = Convert(*archive, *index, picture, result))
    return Fail(PrintableName(entry.Name()) + ": " + *failure);
  WarnAll(entry.Name(), result);
  if (result.Unchanged) {
    std::cout << PrintableName(entry.Name()) << " already holds this picture; the archive was not rewritten\n";
    return 0;
  }
  std::vector<EntryReplacement> replacement{{*index, EncodeEntryContent(result.Bytes)}};
  return Rewrite(*archive, replacement);
}

int RunImportAll(const Args& args) {
  const std::string& directory = args[1];
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(args[0]);
  if (!archive) return 1;
  if (!DirectoryExists(directory)) return Fail(directory + " is not a folder");

  // Each name (less its extension) to the first image entry of that name, as png-all writes them.
  std::map<std::string, size_t> entryOfStem;
  for (size_t i = 0; i < archive->Table.size(); ++i)
    if (ImageKindOfEntryType(archive->Table[i].FileType)) entryOfStem.emplace(StemOf(archive->Table[i].Name()), i);

  std::vector<std::string> pictures;
  try {
    pictures = PicturesIn(directory);
  } catch (const std::filesystem::filesystem_error& e) {
    return Fail(directory + ": " + e.code().message());
  }

  size_t failed = 0, matched = 0;
  std::map<size_t, std::string> pictureOf;  // entry index -> the picture that goes into it
  std::vector<EntryReplacement> replacements;
  for (const std::string& name : pictures) {
    const std::string path = JoinPath(directory, name);
    const auto found = entryOfStem.find(StemOf(name));
    if (found == entryOfStem.end()) {
      std::cout << PrintableName(path) << ": no image entry of that name\n";
      continue;
    }
    ++matched;
    const size_t index = found->second;
    const std::string entryName = archive->Table[index].Name();
    auto failure = [&](const std::string& reason) {
      Fail(PrintableName(path) + ": " + reason);
      ++failed;
    };
    if (const auto other = pictureOf.find(index); other != pictureOf.end()) {
      failure("both it and " + PrintableName(other->second) + " name " + PrintableName(entryName));
      continue;
    }
    pictureOf.emplace(index, path);
    RgbaImage picture;
    if (auto reason = ReadPicture(path, picture)) {
      failure(*reason);
      continue;
    }
    EncodedPicture result;
    if (auto reason = Convert(*archive, index, picture, result)) {
      failure(PrintableName(entryName) + ": " + *reason);
      continue;
    }
    WarnAll(entryName, result);
    if (!result.Unchanged) replacements.push_back({index, EncodeEntryContent(result.Bytes)});
  }
  if (failed > 0)
    return Fail(std::to_string(failed) + " of " + std::to_string(matched) +
                " pictures could not be imported; the archive was not changed");

  if (!replacements.empty())
    if (const int status = Rewrite(*archive, replacements); status != 0) return status;
  for (const EntryReplacement& r : replacements)
    std::cout << PrintableName(archive->Table[r.Index].Name()) << " from " << PrintableName(pictureOf[r.Index]) << '\n';
  std::cout << replacements.size() << (replacements.size() == 1 ? " entry" : " entries") << " updated\n";
  return 0;
}

}  // namespace kestrel::cli
