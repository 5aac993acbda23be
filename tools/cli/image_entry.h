// What kestrel-cli's image commands share about image entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/file_error.h"

namespace kestrel::cli {

// The entry's file bytes, or the reason they cannot be had.
std::optional<std::string> ReadEntry(const LoadedArchive& archive, size_t index, std::vector<uint8_t>& bytes);

// Runs `work`, which reads, converts or writes a picture; the reason it failed, if it did.
template <typename Work>
std::optional<std::string> PictureFailure(Work work) {
  try {
    work();
    return std::nullopt;
  } catch (const EInOutError& e) {
    return FileErrorReport(e);
  } catch (const std::bad_alloc&) {
    return "not enough memory for the picture";
  } catch (const std::runtime_error& e) {  // the decoders' and the libraries' complaints
    return e.what();
  }
}

}  // namespace kestrel::cli
