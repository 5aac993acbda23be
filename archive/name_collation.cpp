#include "archive/name_collation.h"

namespace kestrel {
namespace {

// Primary weight of one byte: punctuation and controls, then digits, then letters (case folded),
// then bytes above 127. Within each class the byte's own order holds.
int Weight(unsigned char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return 0x200 + c;
  if (c >= '0' && c <= '9') return 0x100 + c;
  if (c >= 0x80) return 0x300 + c;
  return c;
}

}  // namespace

int CompareNamesIgnoreCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int d = Weight(static_cast<unsigned char>(a[i])) - Weight(static_cast<unsigned char>(b[i]));
    if (d != 0) return d;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  // Equal but for case: raw bytes decide, so that the order never depends on input order.
  return a.compare(b);
}

}  // namespace kestrel
