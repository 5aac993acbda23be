// Console output of spillway, which packwell shares: lines, progress marks and the messages that
// interrupt them, flushed as they go so that a long run shows its progress.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>

#include "archive/file_error.h"

namespace kestrel::console {

class MarkLine {
 public:
  // "*" per entry, "#" for every tenth, all on one line until a message ends it.
  void Mark() {
    ++count_;
    std::fputc(count_ % 10 == 0 ? '#' : '*', stdout);
    std::fflush(stdout);
    open_ = true;
  }
  // A message is written right after the marks so far and ends their line.
  void Message(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    open_ = false;
  }
  // Ends a line of marks that no message has ended.
  void End() {
    if (open_) std::fputc('\n', stdout);
    open_ = false;
  }

 private:
  long count_ = 0;
  bool open_ = false;
};

inline void Line(const std::string& text = "") {
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
}

// The last words of a program that a file error ends; exit status 1.
inline int ReportFileError(MarkLine& marks, const EInOutError& error) {
  marks.End();
  Line(FileErrorReport(error));
  std::fflush(stdout);
  return 1;
}

inline bool EqualsSwitch(const std::string& arg, const char* upperSwitch) {
  if (arg.size() != std::char_traits<char>::length(upperSwitch)) return false;
  for (size_t i = 0; i < arg.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(arg[i])) != upperSwitch[i]) return false;
  return true;
}

}  // namespace kestrel::console
