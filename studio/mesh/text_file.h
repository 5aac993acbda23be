// Writing the mesh library's text files whole, with file failures as EInOutError.
#pragma once

#include <string>

#include "archive/file_error.h"

namespace kestrel {

// Creates or replaces the file with `text` through a FileReplacement: the old file stays whole
// until the new one is complete.
void WriteTextFile(const std::string& path, const std::string& text);

// Adds `text` to the end of an existing file.
void AppendTextFile(const std::string& path, const std::string& text);

}  // namespace kestrel
