// kestrel-cli's image commands: pictures from image files or image entries, written as PNG.
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "archive/zbuffer.h"
#include "cli_command.h"
#include "entry_argument.h"
#include "image_entry.h"
#include "studio/image/image_decoder.h"
#include "studio/image/png_writer.h"

namespace kestrel::cli {
namespace {

// Decodes `bytes` and writes the picture to `outPath`; on failure returns the reason.
std::optional<std::string> WritePicture(ImageKind kind, const std::vector<uint8_t>& bytes, const std::string& outPath) {
  return PictureFailure([&] { WritePngFile(outPath, DecodeImage(kind, bytes.data(), bytes.size())); });
}

int ImageFileToPng(const std::string& imagePath, const std::string& outPath) {
  const std::optional<ImageKind> kind = ImageKindOfName(imagePath);
  if (!kind) return Fail(imagePath + " is not a .bmp, .tga or .jpg file");
  if (OutputIsInput(outPath, imagePath)) return 1;
  const std::optional<std::vector<uint8_t>> bytes = ReadFileOrReport(imagePath);
  if (!bytes) return 1;
  if (const auto failure = WritePicture(*kind, *bytes, outPath)) return Fail(imagePath + ": " + *failure);
  return 0;
}

int EntryToPng(const std::string& archivePath, const std::string& entryArgument, const std::string& outPath) {
  if (OutputIsInput(outPath, archivePath)) return 1;
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(archivePath);
  if (!archive) return 1;
  const std::optional<size_t> index = ResolveEntryArgument(*archive, entryArgument);
  if (!index) return 1;
  const TMAS_FileEntry& entry = archive->Table[*index];
  const std::optional<ImageKind> kind = ImageKindOfEntryType(entry.FileType);
  if (!kind)
    return Fail(PrintableEntryName(entry.Name()) + " is not an image entry (type " + std::to_string(entry.FileType) + ", " +
                MASTypeName(entry.FileType) + ")");
  std::vector<uint8_t> bytes;
  if (auto failure = ReadEntry(*archive, *index, bytes)) return Fail(PrintableEntryName(entry.Name()) + ": " + *failure);
  if (auto failure = WritePicture(*kind, bytes, outPath)) return Fail(PrintableEntryName(entry.Name()) + ": " + *failure);
  return 0;
}

}  // namespace

std::optional<std::string> ReadEntry(const LoadedArchive& archive, size_t index, std::vector<uint8_t>& bytes) {
  try {
    bytes = DecodeEntryBytes(archive.Table[index], ReadStoredBytes(archive, index));
    return std::nullopt;
  } catch (const EInOutError& e) {
    return FileErrorReport(e);
  } catch (const EZLibError& e) {
    return e.what();
  } catch (const std::bad_alloc&) {
    return "not enough memory for the entry";
  }
}

int RunPng(const Args& args) {
  if (args.size() == 2) return ImageFileToPng(args[0], args[1]);
  return EntryToPng(args[0], args[1], args[2]);
}

int RunPngAll(const Args& args) {
  const std::string& archivePath = args[0];
  const std::string& directory = args[1];
  const std::optional<LoadedArchive> archive = LoadArchiveOrReport(archivePath);
  if (!archive) return 1;
  if (!OutputDirectoryOrReport(directory)) return 1;

  size_t images = 0, failed = 0;
  std::map<std::string, std::string> writtenFrom;  // output name -> the entry it came from
  for (size_t i = 0; i < archive->Table.size(); ++i) {
    const TMAS_FileEntry& entry = archive->Table[i];
    const std::optional<ImageKind> kind = ImageKindOfEntryType(entry.FileType);
    if (!kind) continue;
    ++images;
    auto failure = [&](const std::string& reason) {
      Fail(PrintableEntryName(entry.Name()) + ": " + reason);
      ++failed;
    };
    const std::string name = ReplaceExtension(EntryNameToUtf8(entry.Name()), ".png");
    if (!IsSafeEntryFileName(entry.Name())) {
      failure("the name cannot be used as a file name inside " + directory);
      continue;
    }
    // Two entries that differ only in their extension would give one file; the first one stays.
    if (const auto earlier = writtenFrom.find(name); earlier != writtenFrom.end()) {
      failure(PrintableName(name) + " was already written from " + PrintableEntryName(earlier->second) +
              "; use kestrel-cli png for this one");
      continue;
    }
    const std::string outPath = JoinPath(directory, name);
    if (IsSameFile(outPath, archivePath)) {
      failure(PrintableName(outPath) + " is the archive being read");
      continue;
    }
    std::vector<uint8_t> bytes;
    if (auto reason = ReadEntry(*archive, i, bytes)) {
      failure(*reason);
      continue;
    }
    if (auto reason = WritePicture(*kind, bytes, outPath)) {
      failure(*reason);
      continue;
    }
    writtenFrom.emplace(name, entry.Name());
    std::cout << PrintableName(outPath) << '\n' << std::flush;
  }
  if (images == 0) Report("no image entries in " + archivePath);
  if (failed == 0) return 0;
  return Fail(std::to_string(failed) + " of " + std::to_string(images) + " image entries could not be written");
}

}  // namespace kestrel::cli
