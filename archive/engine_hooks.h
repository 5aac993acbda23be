// How the engine speaks to its front end: it never prints, it hands messages and progress here.
#pragma once

#include <functional>
#include <string>

namespace kestrel {

struct EngineHooks {
  // A message for the user: a console line, or an error dialog in the studio.
  std::function<void(const std::string& message)> Report;
  // Called once per entry.
  std::function<void()> Progress;

  void Say(const std::string& message) const {
    if (Report) Report(message);
  }
  void Step() const {
    if (Progress) Progress();
  }
};

}  // namespace kestrel
