// A small JSON emitter for the glTF writer: keys in the order they are written, numbers in one
// locale-independent form, strings always valid UTF-8. Same calls, same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

class JsonWriter {
 public:
  // `indent` 0 writes everything on one line; otherwise each member and element starts a line,
  // indented by that many spaces per level.
  explicit JsonWriter(int indent = 0) : indent_(indent) {}

  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The name of the next member; only inside an object.
  JsonWriter& Key(std::string_view name);

  JsonWriter& String(std::string_view text);
  JsonWriter& Number(double value);
  JsonWriter& Integer(int64_t value);
  JsonWriter& Bool(bool value);

  // Shorthands for a member.
  JsonWriter& Member(std::string_view name, std::string_view text) { return Key(name).String(text); }
  JsonWriter& Member(std::string_view name, const char* text) { return Key(name).String(text); }
  JsonWriter& Member(std::string_view name, double value) { return Key(name).Number(value); }
  JsonWriter& Member(std::string_view name, int64_t value) { return Key(name).Integer(value); }
  JsonWriter& Member(std::string_view name, int value) { return Key(name).Integer(value); }
  JsonWriter& Member(std::string_view name, size_t value) { return Key(name).Integer(static_cast<int64_t>(value)); }

  const std::string& Text() const { return text_; }

 private:
  void BeforeValue();
  void NewLine();

  struct Level {
    bool object;
    bool empty = true;
  };
  int indent_;
  std::string text_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};

// The shortest text that reads back as exactly `value` ("0.5", "-3", "1e+30"), whatever the
// locale. Integral values below 2^53 are written without a fraction. NaN and infinities, which
// JSON cannot hold, are written as 0.
std::string JsonNumber(double value);

// `text` as a JSON string with its quotes. Valid UTF-8 is kept; any other text is taken as
// Latin-1 (the games' names are single bytes) and converted. Quotes, backslashes and control
// characters are escaped.
std::string JsonString(std::string_view text);

// Valid UTF-8 as it is; anything else read as Latin-1 and converted to UTF-8.
std::string ToUtf8(std::string_view text);

}  // namespace kestrel
