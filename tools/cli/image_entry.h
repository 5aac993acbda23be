// What kestrel-cli's image commands share about image entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace kestrel::cli {

// The entry's file bytes, or the reason they cannot be had.
std::optional<std::string> ReadEntry(const LoadedArchive& archive, size_t index, std::vector<uint8_t>& bytes);

}  // namespace kestrel::cli
