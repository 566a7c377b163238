// General legacy (Jet4) character rules.
//
// Lookup order for one UTF-16 code unit:
//   1. U+0000-U+007F: the ASCII table below (established on Access-written files);
//   2. rules derived from stored index entries (collation_data.cpp, kJet4Derived): every BMP
//      character outside the formula ranges;
//   3. the ranges whose codes follow a formula: CJK ideographs U+4E00-U+9FA5 (2-byte codes
//      n = hi * 254 + lo - 2 counting up from 9F 02, with gaps after 66 ideographs), Hangul
//      syllables U+AC00-U+D7A3 (from 81 03, 18 gaps), private use U+E000-U+F8FF, CJK
//      compatibility U+F900-U+FA2D, surrogates; ignored ranges (CJK extension A, U+9FA6-U+9FFF,
//      U+FA2E-U+FAFF);
//   4. a generic approximation (U+FFFD only) that keeps it apart and in code-point order.
#include <algorithm>
#include <cstddef>
#include <iterator>

#include "index/collation.h"

namespace jet::collation {
namespace {

// ASCII: 0xFFFF ignored; 0x8000 | c unprintable with code c; 0x00XX one byte; 0xHHLL two bytes.
constexpr uint16_t kI = 0xFFFF;
constexpr uint16_t U(uint16_t code) { return static_cast<uint16_t>(0x8000 | code); }
constexpr uint16_t kAscii[128] = {
    kI,     U(0x03), U(0x04), U(0x05), U(0x06), U(0x07), U(0x08), U(0x09),  // 00
    U(0x0A), 0x0803, 0x0804,  0x0805,  0x0806,  0x0807,  U(0x0B), U(0x0C),  // 08
    U(0x0D), U(0x0E), U(0x0F), U(0x10), U(0x11), U(0x12), U(0x13), U(0x14),  // 10
    U(0x15), U(0x16), U(0x17), U(0x18), U(0x19), U(0x1A), U(0x1B), U(0x1C),  // 18
    0x07,   0x09,    0x0A,    0x0C,    0x0E,    0x10,    0x12,    U(0x80),  // 20
    0x14,   0x16,    0x18,    0x2C,    0x1A,    U(0x82), 0x1C,    0x1E,     // 28
    0x36,   0x38,    0x3A,    0x3C,    0x3E,    0x40,    0x42,    0x44,     // 30
    0x46,   0x48,    0x20,    0x22,    0x2E,    0x30,    0x32,    0x24,     // 38
    0x26,   0x4A,    0x4C,    0x4D,    0x4F,    0x51,    0x53,    0x55,     // 40
    0x57,   0x59,    0x5B,    0x5C,    0x5E,    0x60,    0x62,    0x64,     // 48
    0x66,   0x68,    0x69,    0x6B,    0x6D,    0x6F,    0x71,    0x73,     // 50
    0x75,   0x76,    0x78,    0x27,    0x29,    0x2A,    0x2B02,  0x2B03,   // 58
    0x2B07, 0x4A,    0x4C,    0x4D,    0x4F,    0x51,    0x53,    0x55,     // 60
    0x57,   0x59,    0x5B,    0x5C,    0x5E,    0x60,    0x62,    0x64,     // 68
    0x66,   0x68,    0x69,    0x6B,    0x6D,    0x6F,    0x71,    0x73,     // 70
    0x75,   0x76,    0x78,    0x2B09,  0x2B0B,  0x2B0D,  0x2B0F,  U(0x1D),  // 78
};

struct Gap {
  char16_t after;  // the code unit after which `skip` codes are left free
  uint8_t skip;
};

constexpr Gap kCjkGaps[] = {
    {0x4E00, 3}, {0x4E01, 1}, {0x4E03, 2}, {0x4E09, 3}, {0x4E0A, 2}, {0x4E0B, 2}, {0x4E19, 1},
    {0x4E2D, 2}, {0x4E59, 1}, {0x4E5D, 2}, {0x4E8C, 3}, {0x4E94, 2}, {0x4EBA, 1}, {0x4EDD, 1},
    {0x4EE3, 1}, {0x4F01, 2}, {0x4F11, 2}, {0x512A, 1}, {0x516B, 2}, {0x516D, 2}, {0x52DE, 2},
    {0x5341, 2}, {0x5354, 2}, {0x5370, 1}, {0x53F3, 1}, {0x540D, 2}, {0x547C, 1}, {0x56DB, 3},
    {0x571F, 2}, {0x5730, 1}, {0x591C, 1}, {0x5927, 1}, {0x5929, 1}, {0x5973, 1}, {0x5B78, 2},
    {0x5B97, 1}, {0x5BEB, 1}, {0x5DE6, 1}, {0x5E73, 1}, {0x65E5, 2}, {0x660E, 1}, {0x662D, 1},
    {0x6708, 2}, {0x6709, 2}, {0x6728, 2}, {0x682A, 3}, {0x6B63, 1}, {0x6C34, 2}, {0x6CE8, 1},
    {0x706B, 2}, {0x7279, 2}, {0x7532, 1}, {0x7537, 1}, {0x76E3, 2}, {0x793E, 2}, {0x795D, 2},
    {0x796D, 1}, {0x79D8, 1}, {0x81EA, 1}, {0x81F3, 1}, {0x8CA1, 2}, {0x8CC7, 2}, {0x9069, 1},
    {0x91AB, 1}, {0x91D1, 2}, {0x9805, 1},
};

constexpr Gap kHangulGaps[] = {
    {0xAE4B, 1},  {0xB097, 4},  {0xB2E3, 10}, {0xB52F, 3}, {0xB77B, 1}, {0xB9C7, 23},
    {0xBC13, 10}, {0xBE5F, 5},  {0xC0AB, 16}, {0xC2F7, 11}, {0xC543, 76}, {0xC78F, 19},
    {0xC9DB, 3},  {0xCC27, 4},  {0xCE73, 3},  {0xD0BF, 1}, {0xD30B, 1}, {0xD557, 3},
};

template <size_t N>
struct GapSums {
  uint16_t before[N + 1] = {};  // before[i] = sum of the first i gaps
};

template <size_t N>
constexpr GapSums<N> SumGaps(const Gap (&gaps)[N]) {
  GapSums<N> s;
  for (size_t i = 0; i < N; ++i) s.before[i + 1] = static_cast<uint16_t>(s.before[i] + gaps[i].skip);
  return s;
}

constexpr auto kCjkSums = SumGaps(kCjkGaps);
constexpr auto kHangulSums = SumGaps(kHangulGaps);

// Sum of the gaps left after code units smaller than `c`.
template <size_t N>
unsigned GapsBefore(const Gap (&gaps)[N], const GapSums<N>& sums, char16_t c) {
  const Gap* it = std::lower_bound(std::begin(gaps), std::end(gaps), c,
                                   [](const Gap& g, char16_t v) { return g.after < v; });
  return sums.before[it - std::begin(gaps)];
}

// A 2-byte code from its sequence number n = hi * 254 + (lo - 2).
Jet4Rule Sequence(unsigned n, bool exact = true) {
  Jet4Rule r;
  r.cls = Jet4Class::kSimple;
  r.inline_len = 2;
  r.inline_bytes = {static_cast<uint8_t>(n / 254), static_cast<uint8_t>(2 + n % 254), 0, 0};
  r.exact = exact;
  return r;
}

Jet4Rule FromAscii(char16_t c) {
  Jet4Rule r;
  r.exact = true;
  const uint16_t v = kAscii[c];
  if (v == kI) return r;
  if (v & 0x8000) {
    r.cls = Jet4Class::kUnprintable;
    r.extra = static_cast<uint8_t>(v & 0xFF);
    return r;
  }
  r.cls = Jet4Class::kSimple;
  if (v > 0xFF) {
    r.inline_len = 2;
    r.inline_bytes = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF), 0, 0};
  } else {
    r.inline_len = 1;
    r.inline_bytes = {static_cast<uint8_t>(v), 0, 0, 0};
  }
  return r;
}

// The run holding `c`, if any.
const Jet4Run* FindRun(char16_t c) {
  const Jet4Run* end = kJet4Derived + kJet4DerivedCount;
  const Jet4Run* it = std::upper_bound(kJet4Derived, end, c, [](char16_t v, const Jet4Run& run) {
    return v < run.first;
  });
  if (it == kJet4Derived) return nullptr;
  --it;
  return c - it->first < it->count ? it : nullptr;
}

Jet4Rule FromRun(const Jet4Run& run, char16_t c) {
  Jet4Rule r;
  r.cls = run.cls;
  r.inline_len = run.inline_len;
  uint32_t value = 0;
  for (int i = 0; i < run.inline_len; ++i) value = value << 8 | run.inline_bytes[i];
  value += static_cast<uint32_t>(c - run.first) * run.step;
  for (int i = run.inline_len - 1; i >= 0; --i, value >>= 8) {
    r.inline_bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(value);
  }
  r.extra = run.extra;
  r.flag = run.flag;
  r.exact = true;
  return r;
}

Jet4Rule Surrogate(char16_t c) {
  unsigned v;
  if (c < 0xDC00) {
    v = c - 10238u;
  } else {
    const unsigned k = (c - 0xDC00u) % 1024u;
    const unsigned d = k < 8 ? 9992 : k < 262 ? 9990 : k < 516 ? 9988 : k < 770 ? 9986 : 9984;
    v = c - d;
  }
  Jet4Rule r;
  r.cls = Jet4Class::kSurrogate;
  r.inline_len = 2;
  r.inline_bytes = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF), 0, 0};
  r.extra = 0x3F;
  r.exact = true;
  return r;
}

// Rules that follow from the code unit's range; cls kIgnored + exact false = no range matched.
Jet4Rule FromRange(char16_t c, bool* matched) {
  *matched = true;
  Jet4Rule ignored;
  ignored.exact = true;
  if (c >= 0x4E00 && c <= 0x9FA5) {
    return Sequence(0x9Fu * 254 + (c - 0x4E00u) + GapsBefore(kCjkGaps, kCjkSums, c));
  }
  if (c >= 0xAC00 && c <= 0xD7A3) {
    return Sequence(0x81u * 254 + 1 + (c - 0xAC00u) + GapsBefore(kHangulGaps, kHangulSums, c));
  }
  if (c >= 0xE000 && c <= 0xF8FF) return Sequence(0xE6u * 254 + (c - 0xE000u));
  if (c >= 0xF900 && c <= 0xFA2D) return Sequence(0xF1u * 254 + (0xB5u - 2) + (c - 0xF900u));
  if (c >= 0xD800 && c <= 0xDFFF) return Surrogate(c);
  if ((c >= 0x3400 && c <= 0x4DBF) || (c >= 0x9FA6 && c <= 0x9FFF) ||
      (c >= 0xFA2E && c <= 0xFAFF)) {
    return ignored;
  }
  *matched = false;
  return Jet4Rule{};
}

// Unknown characters: controls as unprintable, combining marks as modifiers, anything else as a
// 3-byte code in code-point order that no established character uses.
Jet4Rule Generic(char16_t c) {
  Jet4Rule r;
  if (c >= 0x80 && c <= 0x9F) {
    r.cls = Jet4Class::kUnprintable;
    r.extra = static_cast<uint8_t>(c - 0x80 + 0x1E);
    return r;
  }
  if (c >= 0x0300 && c <= 0x036F) {
    r.cls = Jet4Class::kModifier;
    return r;
  }
  r.cls = Jet4Class::kSimple;
  r.inline_len = 3;
  const unsigned n = c;
  r.inline_bytes = {static_cast<uint8_t>(0x7A + n / (254 * 254)),
                    static_cast<uint8_t>(2 + (n / 254) % 254), static_cast<uint8_t>(2 + n % 254),
                    0};
  return r;
}

}  // namespace

Jet4Rule Jet4Lookup(char16_t c) {
  if (c < 0x80) return FromAscii(c);
  if (const Jet4Run* run = FindRun(c)) return FromRun(*run, c);
  bool matched = false;
  Jet4Rule r = FromRange(c, &matched);
  if (matched) return r;
  return Generic(c);
}

unsigned Jet4Positions(const Jet4Rule& r) {
  if (r.inline_len < 2) return 1;
  // Codes of one byte stay below 0x79; 0x08 and 0x2B lead the two-byte codes of ASCII signs,
  // and 0x79 and above lead the multi-byte codes of other scripts (one character each).
  unsigned letters = 0;
  for (size_t i = 0; i < r.inline_len; ++i) {
    const uint8_t b = r.inline_bytes[i];
    if (b >= 0x79 || b == 0x08 || b == 0x2B) return letters == 0 ? 1 : letters + 1;
    ++letters;
  }
  return letters;
}

}  // namespace jet::collation
