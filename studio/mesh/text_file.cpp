#include "studio/mesh/text_file.h"

#include "archive/file_io.h"
#include "archive/file_replacement.h"

namespace kestrel {

void WriteTextFile(const std::string& path, const std::string& text) {
  ReplaceFileContents(path, text.data(), text.size());
}

void AppendTextFile(const std::string& path, const std::string& text) {
  BinaryFile file = BinaryFile::OpenAppend(path);
  file.WriteAll(text.data(), text.size());
  file.Close();
}

}  // namespace kestrel
