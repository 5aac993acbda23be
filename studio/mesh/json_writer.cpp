#include "studio/mesh/json_writer.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace kestrel {
namespace {

// Length of the UTF-8 sequence starting at `i`, or 0 when it is not a valid one (overlong forms,
// surrogates and values past U+10FFFF included).
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t length;
  uint32_t value;
  if (c >= 0xC2 && c <= 0xDF) length = 2, value = c & 0x1Fu;
  else if (c >= 0xE0 && c <= 0xEF) length = 3, value = c & 0x0Fu;
  else if (c >= 0xF0 && c <= 0xF4) length = 4, value = c & 0x07u;
  else return 0;
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3Fu);
  }
  if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  return length;
}

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

}  // namespace

std::string ToUtf8(std::string_view text) {
  if (IsUtf8(text)) return std::string(text);
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string JsonString(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : ToUtf8(text)) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0) return "0";  // also for -0, which some readers keep as a sign
  char buffer[64];
  std::to_chars_result result;
  if (std::trunc(value) == value && std::fabs(value) < 9007199254740992.0)
    result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<int64_t>(value));
  else
    result = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (result.ec != std::errc()) throw std::logic_error("number does not fit its buffer");
  return std::string(buffer, result.ptr);
}

void JsonWriter::NewLine() {
  if (indent_ <= 0) return;
  text_ += '\n';
  text_.append(levels_.size() * static_cast<size_t>(indent_), ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  if (levels_.back().object) throw std::logic_error("JSON object member without a key");
  if (!levels_.back().empty) text_ += ',';
  levels_.back().empty = false;
  NewLine();
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  if (levels_.empty() || !levels_.back().object || after_key_) throw std::logic_error("JSON key outside an object");
  if (!levels_.back().empty) text_ += ',';
  levels_.back().empty = false;
  NewLine();
  text_ += JsonString(name);
  text_ += indent_ > 0 ? ": " : ":";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::BeginObject() {
  BeforeValue();
  text_ += '{';
  levels_.push_back({true});
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  BeforeValue();
  text_ += '[';
  levels_.push_back({false});
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  if (levels_.empty() || !levels_.back().object || after_key_) throw std::logic_error("unbalanced JSON object");
  const bool empty = levels_.back().empty;
  levels_.pop_back();
  if (!empty) NewLine();
  text_ += '}';
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  if (levels_.empty() || levels_.back().object) throw std::logic_error("unbalanced JSON array");
  const bool empty = levels_.back().empty;
  levels_.pop_back();
  if (!empty) NewLine();
  text_ += ']';
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  text_ += JsonString(text);
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  BeforeValue();
  text_ += JsonNumber(value);
  return *this;
}

JsonWriter& JsonWriter::Integer(int64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
  return *this;
}

}  // namespace kestrel
