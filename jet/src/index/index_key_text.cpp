// Text fields of index keys: General legacy (Jet4) and General 97 (Jet3). The layouts are
// described at the top of index_key.cpp; the per-character rules live in collation*.cpp.
#include <algorithm>

#include "index/collation.h"
#include "index/index_key.h"

namespace jet {
namespace {

using collation::Jet4Class;
using collation::Jet4Rule;

constexpr uint8_t kPad = 0x02;

// State of one General-legacy value while its code units are consumed.
class LegacyBuilder {
 public:
  explicit LegacyBuilder(Bytes* out) : out_(out), start_(out->size()) {}

  void Add(char16_t c) {
    const Jet4Rule r = collation::Jet4Lookup(c);
    if (!r.exact) exact_ = false;
    const unsigned cpos = pos_;
    out_->insert(out_->end(), r.inline_bytes.begin(), r.inline_bytes.begin() + r.inline_len);
    // Later accents and unprintables record their position counting each letter of an
    // expansion (ß spells "ss": two positions).
    if (r.inline_len > 0) pos_ += collation::Jet4Positions(r);
    switch (r.cls) {
      case Jet4Class::kInternational:
        AddExtra(cpos, r.extra);
        if (r.flag != 0) AddExtra(cpos + 1, r.flag);
        break;
      case Jet4Class::kSurrogate:
        AddExtra(cpos, r.extra);
        break;
      case Jet4Class::kKana:
        if (r.extra != 0) AddExtra(cpos, r.extra);
        flags_.push_back(r.flag);
        break;
      case Jet4Class::kModifier:
        AddModifier(cpos, r.extra);
        break;
      case Jet4Class::kUnprintable:
        AddUnprintable(cpos, r.extra);
        break;
      case Jet4Class::kSimple:
      case Jet4Class::kIgnored:
        break;
    }
  }

  // Appends the value's tail; returns whether every character was exact.
  bool Finish(bool ascending) {
    out_->push_back(0x01);
    size_t extra_len = extra_.size();
    while (extra_len > 0 && extra_[extra_len - 1] <= 0x02) --extra_len;
    out_->insert(out_->end(), extra_.begin(), extra_.begin() + extra_len);
    if (!records_.empty() || !flags_.empty()) {
      out_->push_back(0x01);
      out_->push_back(0x01);
    }
    if (!flags_.empty()) AppendFlags();
    if (!records_.empty()) {
      out_->push_back(0x01);
      out_->insert(out_->end(), records_.begin(), records_.end());
    }
    out_->push_back(0x00);
    if (!ascending) {
      for (size_t i = start_; i < out_->size(); ++i) (*out_)[i] = static_cast<uint8_t>(~(*out_)[i]);
      out_->push_back(0x00);
    }
    return exact_;
  }

 private:
  unsigned Covered() const { return static_cast<unsigned>(extra_.size()) - lead_; }

  void PadTo(unsigned cpos) {
    while (Covered() < cpos) extra_.push_back(kPad);
  }

  void AddExtra(unsigned cpos, uint8_t extra) {
    PadTo(cpos);
    extra_.push_back(extra);
  }

  void AddModifier(unsigned cpos, uint8_t value) {
    PadTo(cpos);
    if (extra_.empty()) {
      extra_.push_back(value);
      lead_ = 1;
    } else {
      extra_.back() = static_cast<uint8_t>(extra_.back() + value);
    }
  }

  void AddUnprintable(unsigned cpos, uint8_t code) {
    unsigned u = cpos;
    if (!extra_.empty()) u = static_cast<unsigned>(extra_.size()) + (cpos - Covered()) - lead_;
    const unsigned v = 0x8000u | (7u + 4u * u);
    records_.push_back(static_cast<uint8_t>(v >> 8));
    records_.push_back(static_cast<uint8_t>(v & 0xFF));
    records_.push_back(0x06);
    records_.push_back(code);
  }

  void AppendFlags() {
    size_t n = flags_.size();
    while (n > 0 && flags_[n - 1] == 3) --n;
    for (size_t i = 0; i < n; i += 3) {
      uint8_t b = 0x80;
      for (size_t k = 0; k < 3 && i + k < n; ++k) {
        b = static_cast<uint8_t>(b | (flags_[i + k] << (4 - 2 * k)));
      }
      out_->push_back(b);
    }
    const uint8_t tail[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
    out_->insert(out_->end(), std::begin(tail), std::end(tail));
    if (!records_.empty()) out_->push_back(0xFF);
  }

  Bytes* out_;
  size_t start_;
  unsigned pos_ = 0;   // characters that produced inline bytes so far
  unsigned lead_ = 0;  // 1 when the extra list starts with a modifier's lone value
  bool exact_ = true;
  Bytes extra_;
  Bytes records_;
  std::vector<uint8_t> flags_;
};

std::u16string_view Trimmed(std::u16string_view text) {
  if (text.size() > kMaxKeyChars) text = text.substr(0, kMaxKeyChars);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}

}  // namespace

bool EncodeTextGeneralLegacy(std::u16string_view text, bool ascending, Bytes* out) {
  LegacyBuilder b(out);
  for (char16_t c : Trimmed(text)) b.Add(c);
  return b.Finish(ascending);
}

bool EncodeTextGeneral97(std::u16string_view text, bool ascending, Bytes* out) {
  const size_t start = out->size();
  bool exact = true;
  std::vector<uint8_t> nibbles;
  unsigned significant = 0;
  for (char16_t c : Trimmed(text)) {
    const auto byte = collation::ToWindows1252(c);
    if (!byte) exact = false;  // Access stores such characters as '?'
    const collation::Jet3Rule r = collation::Jet3Lookup(byte.value_or('?'));
    if (!r.exact) exact = false;
    out->insert(out->end(), r.inline_bytes.begin(), r.inline_bytes.begin() + r.inline_len);
    if (r.extra_nibble != 0) {
      if (nibbles.empty()) nibbles.push_back(0);
      nibbles.insert(nibbles.end(), significant, 2);
      nibbles.push_back(r.extra_nibble);
      significant = 0;
    } else if (r.significant) {
      ++significant;
    }
  }
  if (nibbles.empty()) {
    out->push_back(0x00);
  } else {
    nibbles.push_back(0);
    if (nibbles.size() % 2) nibbles.push_back(0);
    for (size_t i = 0; i < nibbles.size(); i += 2) {
      out->push_back(static_cast<uint8_t>(nibbles[i] << 4 | nibbles[i + 1]));
    }
  }
  if (!ascending) {
    for (size_t i = start; i < out->size(); ++i) (*out)[i] = static_cast<uint8_t>(~(*out)[i]);
  }
  return exact;
}

namespace {

// Simple upper-case folding for the scripts the General orders fold (Latin, Greek, Cyrillic,
// full-width Latin).
char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (odd_upper ? (c % 2 == 0) : (c % 2 == 1)) return static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

bool Ignored(char16_t c) {
  return collation::Jet4Lookup(c).cls == collation::Jet4Class::kIgnored;
}

bool Established(Format format, char16_t c) {
  if (format == Format::kJet4) return collation::Jet4Lookup(c).exact;
  const std::optional<uint8_t> byte = collation::ToWindows1252(c);
  return byte && collation::Jet3Lookup(*byte).exact;
}

// Whether `c` and every character that folds to the same as `c` has an established code.
bool CaseClassEstablished(Format format, char16_t c) {
  const uint32_t folded = Fold(c);
  for (uint32_t partner : {folded, folded + 0x20, folded + 0x50, folded + 1,
                           folded == 0x178 ? 0xFFu : folded, folded == 0x3A3 ? 0x3C2u : folded}) {
    if (partner > 0xFFFF) continue;
    const auto p = static_cast<char16_t>(partner);
    if (Fold(p) == folded && !Established(format, p)) return false;
  }
  return true;
}

}  // namespace

std::u16string TextEqualityForm(std::u16string_view text) {
  std::u16string form;
  form.reserve(text.size());
  for (char16_t c : Trimmed(text)) {
    if (!Ignored(c)) form.push_back(Fold(c));
  }
  return form;
}

bool TextEqualForIndex(std::u16string_view a, std::u16string_view b) {
  return TextEqualityForm(a) == TextEqualityForm(b);
}

std::optional<char16_t> FirstUnestablishedChar(Format format, std::u16string_view text) {
  for (char16_t c : Trimmed(text)) {
    if (!Established(format, c)) return c;
  }
  return std::nullopt;
}

bool TextCaseVariantsEstablished(std::u16string_view text, Format format) {
  return std::all_of(text.begin(), text.end(),
                     [format](char16_t c) { return CaseClassEstablished(format, c); });
}

}  // namespace jet
