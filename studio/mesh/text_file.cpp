#include "studio/mesh/text_file.h"

#include "archive/file_io.h"
#include "archive/file_replacement.h"

namespace kestrel {

void WriteTextFile(const std::string& path, const std::string& text) {
  try {
    ReplaceFileContents(path, text.data(), text.size());
  } catch (const EInOutError& e) {
    throw NamingPath(e, path);
  }
}

EInOutError NamingPath(const EInOutError& error, const std::string& path) {
  return EInOutError(error.Kind(), path, error.SystemCode() == error.Code() ? 0 : error.SystemCode());
}

void AppendTextFile(const std::string& path, const std::string& text) {
  BinaryFile file = BinaryFile::OpenAppend(path);
  file.WriteAll(text.data(), text.size());
  file.Close();
}

}  // namespace kestrel
