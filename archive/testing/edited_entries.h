// Entries for the test-side writer that match what the archive's edits write, so that an edited
// archive can be compared byte for byte with one the writer makes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/testing/mas_builder.h"

namespace kestrel::testing {

// An entry with every table field the edits keep: its type and its Unknown value.
inline TestEntry Entry(std::string name, std::vector<uint8_t> data, int32_t type, int32_t unknown,
                       bool stored = false) {
  TestEntry e(std::move(name), std::move(data), type, stored);
  e.Unknown = unknown;
  return e;
}

// The entry as the edits store `data`: a level-9 stream, or the data as is where that stream would
// be exactly as long as the data (it would read back as a stored entry).
inline TestEntry Encoded(std::string name, const std::vector<uint8_t>& data, int32_t type, int32_t unknown) {
  return Entry(std::move(name), data, type, unknown, Deflate(data).size() == data.size());
}

}  // namespace kestrel::testing
