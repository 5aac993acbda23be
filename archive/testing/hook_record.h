// Engine hooks that keep what the engine hands its front end, for tests to compare.
#pragma once

#include <string>
#include <vector>

#include "archive/engine_hooks.h"

namespace kestrel::testing {

struct HookRecord {
  std::vector<std::string> messages;
  int steps = 0;

  // Valid while this record lives.
  EngineHooks Hooks() {
    return {[this](const std::string& m) { messages.push_back(m); }, [this] { ++steps; }};
  }
};

}  // namespace kestrel::testing
