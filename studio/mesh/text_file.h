// Writing the mesh library's text files whole, with file failures as EInOutError.
#pragma once

#include <string>

namespace kestrel {

// Creates or replaces the file and writes `text` into it.
void WriteTextFile(const std::string& path, const std::string& text);
// Adds `text` to the end of an existing file.
void AppendTextFile(const std::string& path, const std::string& text);

}  // namespace kestrel
