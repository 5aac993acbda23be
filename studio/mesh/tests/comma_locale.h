// Puts the process in a locale whose decimal separator is "," for the length of a test: the C
// library's LC_NUMERIC (a German locale, compiled into a scratch folder when the machine has none
// installed) and the C++ global locale (a numpunct facet), so that a writer that leans on either
// shows it.
#pragma once

#include <clocale>
#include <cstdlib>
#include <locale>
#include <string>

#include "archive/testing/mas_builder.h"

namespace kestrel::testing {

class CommaLocale {
 public:
  CommaLocale() : savedCpp_(std::locale()) {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    savedC_ = current ? current : "C";
    if (!TryInstalled()) TryCompiled();
    std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, savedC_.c_str());
    std::locale::global(savedCpp_);
    if (setLocPath_) unsetenv("LOCPATH");
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // True when the C library now writes "," for decimals.
  bool CActive() const { return std::string(std::localeconv()->decimal_point) == ","; }

 private:
  struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };

  static bool TryInstalled() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
      if (std::setlocale(LC_NUMERIC, name)) return true;
    return false;
  }

  bool TryCompiled() {
    if (std::getenv("LOCPATH")) return false;
    const std::string target = scratch_.Path() + "/de_DE.UTF-8";
    const std::string command = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    setenv("LOCPATH", scratch_.Path().c_str(), 1);
    setLocPath_ = true;
    return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }

  TempDir scratch_;
  std::string savedC_;
  std::locale savedCpp_;
  bool setLocPath_ = false;
};

}  // namespace kestrel::testing
