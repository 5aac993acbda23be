#include "archive/mod_manifest.h"

#include <map>
#include <set>

#include "archive/mas_format.h"
#include "archive/sha256.h"

namespace kestrel {
namespace {

std::string Escape(std::string_view text, bool title) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto b = static_cast<uint8_t>(c);
    const bool plain = title ? (b >= 32 && b != 127 && c != '\\') : (b > 32 && b < 127 && c != '\\');
    if (plain) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t from = 0;
  while (true) {
    const size_t space = line.find(' ', from);
    fields.push_back(line.substr(from, space == std::string_view::npos ? std::string_view::npos : space - from));
    if (space == std::string_view::npos) return fields;
    from = space + 1;
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  ModManifest Parse() {
    ModManifest manifest;
    bool titled = false, ended = false;
    std::map<std::string, std::set<uint32_t>> occurrences;  // upper-cased name -> occurrences named
    std::set<std::string> added;
    std::set<size_t> carried;
    std::string_view line;
    if (!NextLine(line) || line != "kestrel-mod-package " + std::to_string(kModManifestVersion)) {
      if (line.rfind("kestrel-mod-package ", 0) == 0)
        Fail("it is of a format version this program does not know (" + std::string(line.substr(20)) + ")");
      Fail("it does not start with \"kestrel-mod-package " + std::to_string(kModManifestVersion) + "\"");
    }
    while (NextLine(line)) {
      if (ended) Fail("there is text after \"end\"");
      if (line == "end") {
        ended = true;
        continue;
      }
      const size_t space = line.find(' ');
      const std::string_view keyword = line.substr(0, space);
      const std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
      if (keyword == "title") {
        if (titled) Fail("the title is given twice");
        if (!UnescapeModText(rest, manifest.Title)) Fail("the title has a bad escape");
        titled = true;
        continue;
      }
      const std::vector<std::string_view> f = Fields(rest);
      if (keyword == "changed" || keyword == "removed") {
        if (f.size() != 3) Fail("a \"" + std::string(keyword) + "\" record needs a name, a number and a hash");
        ModHashedEntry entry{Ref(f[0], f[1], occurrences), std::string(f[2])};
        if (!IsSha256Hex(entry.Sha256)) Fail("\"" + std::string(f[2]) + "\" is not a SHA-256 in hex");
        (keyword == "changed" ? manifest.Changed : manifest.Removed).push_back(std::move(entry));
      } else if (keyword == "added") {
        if (f.size() != 1) Fail("an \"added\" record needs one name");
        std::string name = Name(f[0]);
        if (!added.insert(UpperCaseAscii(name)).second) Fail("an added name is given twice");
        manifest.Added.push_back(std::move(name));
      } else if (keyword == "keep") {
        if (f.size() != 2) Fail("a \"keep\" record needs a name and a number");
        ModOrderItem item;
        item.Kept = Ref(f[0], f[1], occurrences);
        manifest.Order.push_back(std::move(item));
      } else if (keyword == "carry") {
        if (f.size() != 1) Fail("a \"carry\" record needs one number");
        ModOrderItem item;
        item.Carried = true;
        item.CarriedIndex = Number(f[0]);
        if (item.CarriedIndex == 0 || !carried.insert(item.CarriedIndex).second)
          Fail("carried entry " + std::string(f[0]) + " is not a carried entry or is placed twice");
        manifest.Order.push_back(std::move(item));
      } else {
        Fail("\"" + Escape(keyword, true) + "\" is not a record of this format");
      }
    }
    if (!ended) Fail("it is cut short (no \"end\")");
    if (!titled) Fail("it has no title");
    for (const auto& [name, numbers] : occurrences)
      if (*numbers.rbegin() + 1 != numbers.size())
        Fail("the entries named " + EscapeModName(name) + " are not numbered from 0 without gaps");
    for (const std::string& name : added)
      if (occurrences.count(name)) Fail("the added name " + EscapeModName(name) + " is also an original entry's");
    if (carried.size() != manifest.Changed.size() + manifest.Added.size())
      Fail("it places " + std::to_string(carried.size()) + " carried entries for " +
           std::to_string(manifest.Changed.size() + manifest.Added.size()) + " changed and added ones");
    for (size_t i = 1; i <= carried.size(); ++i)
      if (!carried.count(i)) Fail("carried entry " + std::to_string(i) + " has no place in the final order");
    return manifest;
  }

 private:
  std::string_view text_;
  size_t position_ = 0;
  size_t lineNumber_ = 0;

  [[noreturn]] void Fail(const std::string& what) const {
    throw EModPackageError("The package's manifest is damaged: " + what +
                           (lineNumber_ ? " (line " + std::to_string(lineNumber_) + ")." : "."));
  }

  bool NextLine(std::string_view& line) {
    if (position_ >= text_.size()) return false;
    const size_t end = text_.find('\n', position_);
    if (end == std::string_view::npos) Fail("its last line does not end");
    line = text_.substr(position_, end - position_);
    position_ = end + 1;
    ++lineNumber_;
    return true;
  }

  size_t Number(std::string_view field) const {
    if (field.empty() || field.size() > 9 || (field.size() > 1 && field[0] == '0'))
      Fail("\"" + Escape(field, true) + "\" is not a number");
    size_t value = 0;
    for (char c : field) {
      if (c < '0' || c > '9') Fail("\"" + Escape(field, true) + "\" is not a number");
      value = value * 10 + static_cast<size_t>(c - '0');
    }
    return value;
  }

  std::string Name(std::string_view field) const {
    std::string name;
    if (!UnescapeModText(field, name) || name.empty() || name.size() > kMasNameSize ||
        name.find('\0') != std::string::npos)
      Fail("\"" + Escape(field, true) + "\" is not an entry name");
    return name;
  }

  ModEntryRef Ref(std::string_view name, std::string_view number,
                  std::map<std::string, std::set<uint32_t>>& occurrences) const {
    ModEntryRef ref{Name(name), static_cast<uint32_t>(Number(number))};
    if (!occurrences[UpperCaseAscii(ref.Name)].insert(ref.Occurrence).second)
      Fail("original entry " + EscapeModName(ref.Name) + " " + std::to_string(ref.Occurrence) + " is named twice");
    return ref;
  }
};

}  // namespace

std::string EscapeModName(std::string_view name) { return Escape(name, false); }

ModManifest ParseModManifest(std::string_view text) { return Parser(text).Parse(); }

bool UnescapeModText(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
    const int high = HexValue(text[i + 2]), low = HexValue(text[i + 3]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return true;
}

std::string WriteModManifest(const ModManifest& m) {
  std::string text = "kestrel-mod-package " + std::to_string(kModManifestVersion) + "\n";
  text += "title " + Escape(m.Title, true) + "\n";
  for (const ModHashedEntry& e : m.Changed)
    text += "changed " + EscapeModName(e.Entry.Name) + " " + std::to_string(e.Entry.Occurrence) + " " + e.Sha256 + "\n";
  for (const ModHashedEntry& e : m.Removed)
    text += "removed " + EscapeModName(e.Entry.Name) + " " + std::to_string(e.Entry.Occurrence) + " " + e.Sha256 + "\n";
  for (const std::string& name : m.Added) text += "added " + EscapeModName(name) + "\n";
  for (const ModOrderItem& item : m.Order)
    text += item.Carried ? "carry " + std::to_string(item.CarriedIndex) + "\n"
                         : "keep " + EscapeModName(item.Kept.Name) + " " + std::to_string(item.Kept.Occurrence) + "\n";
  return text + "end\n";
}

}  // namespace kestrel
