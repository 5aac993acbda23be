// Archives made to hurt, shared by the console programs' and the studio's tests: unsafe and
// unprintable names, counts, sizes and offsets that lie, and a decompression bomb.
#pragma once

#include <string>
#include <vector>

#include "archive/testing/mas_builder.h"

namespace kestrel::testing {

struct HostileCase {
  std::string name;
  TestArchive archive;
  std::string spillwaySays;  // a piece of what spillway prints for it; empty: extracts cleanly
};

inline constexpr char kNotPlainName[] = "its name is not a plain file name";
inline constexpr char kReadBeyondEnd[] = "Read beyond end of file";

// Every entry is a mesh entry (type 17), so that the mesh commands and previews read them all.
std::vector<HostileCase> HostileCases();

}  // namespace kestrel::testing
