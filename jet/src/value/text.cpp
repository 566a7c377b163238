// Text decoding (layouts in text.h) and case folding for names.

#include "value/text.h"

#include <algorithm>
#include <cerrno>
#include <string>

namespace jet {
namespace {

constexpr uint16_t kFallbackCodePage = 1252;

bool IsMultiByteCodePage(uint16_t cp) {
  return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361;
}

iconv_t OpenToUtf16(uint16_t cp) {
  std::string name = "CP" + std::to_string(cp);
  return iconv_open("UTF-16LE", name.c_str());
}

bool IconvOk(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1); }

}  // namespace

void DecodeUcs2(std::span<const uint8_t> bytes, std::u16string& out) {
  out.clear();
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
}

void DecodeJet4Text(std::span<const uint8_t> bytes, std::u16string& out) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
    DecodeUcs2(bytes, out);
    return;
  }
  out.clear();
  out.reserve(bytes.size() - 2);
  bool compressed = true;
  size_t i = 2;
  while (i < bytes.size()) {
    if (bytes[i] == 0) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      out.push_back(static_cast<char16_t>(bytes[i]));
      ++i;
    } else {
      if (i + 1 >= bytes.size()) break;
      out.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
      i += 2;
    }
  }
}

char16_t FoldCase(char16_t c) {
  auto plus = [c](int delta) { return static_cast<char16_t>(c + delta); };
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? plus(0x20) : c;
  if (c < 0x100) return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? plus(0x20) : c;
  if (c < 0x180) {
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return u's';
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool even_upper =
        (c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (odd_upper && c % 2 == 1) return plus(1);
    if (even_upper && c % 2 == 0) return plus(1);
    return c;
  }
  if (c >= 0x370 && c < 0x400) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return plus(37);
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return plus(63);
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return plus(0x20);
    if (c == 0x3C2) return 0x3C3;
    return c;
  }
  if (c >= 0x400 && c < 0x500) {
    if (c <= 0x40F) return plus(0x50);
    if (c <= 0x42F) return plus(0x20);
    if (c == 0x4C0) return 0x4CF;
    const bool even_upper = (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0;
    if (even_upper && c % 2 == 0) return plus(1);
    if (c >= 0x4C1 && c <= 0x4CE && c % 2 == 1) return plus(1);
    return c;
  }
  if (c >= 0xFF21 && c <= 0xFF3A) return plus(0x20);
  return c;
}

int CompareIgnoreCase(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = FoldCase(a[i]);
    char16_t y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareIgnoreCase(a, b) == 0;
}

TextCodec::TextCodec(Format format, uint16_t code_page) : format_(format), code_page_(code_page) {
  if (format_ == Format::kJet4) return;
  if (IsMultiByteCodePage(code_page_)) {
    iconv_ = OpenToUtf16(code_page_);
    if (IconvOk(iconv_)) {
      multi_byte_ = true;
      from_utf16_ = iconv_open(("CP" + std::to_string(code_page_)).c_str(), "UTF-16LE");
      return;
    }
    code_page_ = kFallbackCodePage;
  }
  BuildSingleByteTable();
}

TextCodec::~TextCodec() {
  if (IconvOk(iconv_)) iconv_close(iconv_);
  if (IconvOk(from_utf16_)) iconv_close(from_utf16_);
}

void TextCodec::BuildSingleByteTable() {
  iconv_t cd = OpenToUtf16(code_page_);
  if (!IconvOk(cd)) {
    code_page_ = kFallbackCodePage;
    cd = OpenToUtf16(code_page_);
  }
  for (int b = 0; b < 256; ++b) {
    // Bytes the code page leaves undefined (0x81, 0x8D, ... in 1252) read as U+FFFD.
    table_[b] = IconvOk(cd) ? u'\uFFFD' : static_cast<char16_t>(b);
    if (!IconvOk(cd)) continue;
    char in = static_cast<char>(b);
    char out[4];
    char* in_ptr = &in;
    char* out_ptr = out;
    size_t in_left = 1;
    size_t out_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1) &&
        out_left == 2) {
      table_[b] =
          static_cast<char16_t>(static_cast<uint8_t>(out[0]) | (static_cast<uint8_t>(out[1]) << 8));
    }
  }
  if (IconvOk(cd)) iconv_close(cd);
}

void TextCodec::DecodeMultiByte(std::span<const uint8_t> bytes, std::u16string& out) const {
  out.clear();
  std::u16string buf(bytes.size() + 1, u'\0');
  char* in_ptr = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t in_left = bytes.size();
  iconv(iconv_, nullptr, nullptr, nullptr, nullptr);
  while (in_left > 0) {
    char* out_ptr = reinterpret_cast<char*>(buf.data());
    size_t out_left = buf.size() * 2;
    size_t r = iconv(iconv_, &in_ptr, &in_left, &out_ptr, &out_left);
    out.append(buf.data(), (buf.size() * 2 - out_left) / 2);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // An invalid or truncated sequence: one replacement character per bad byte.
      out.push_back(u'\uFFFD');
      ++in_ptr;
      --in_left;
      iconv(iconv_, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

void TextCodec::Decode(std::span<const uint8_t> bytes, std::u16string& out) const {
  if (format_ == Format::kJet4) {
    DecodeJet4Text(bytes, out);
  } else if (multi_byte_) {
    DecodeMultiByte(bytes, out);
  } else {
    out.resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = table_[bytes[i]];
  }
}

std::u16string TextCodec::DecodeName(std::span<const uint8_t> bytes) const {
  std::u16string s;
  if (format_ == Format::kJet4) {
    DecodeUcs2(bytes, s);
  } else {
    Decode(bytes, s);
  }
  return s;
}

namespace {

// The code point starting at text[i] (a surrogate pair counts as one).
char32_t CodePointAt(std::u16string_view text, size_t i) {
  const char16_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
      text[i + 1] <= 0xDFFF) {
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  return c;
}

}  // namespace

std::optional<char32_t> TextCodec::EncodeMultiByte(std::u16string_view text,
                                                   std::vector<uint8_t>& out) const {
  out.clear();
  if (!IconvOk(from_utf16_))
    return text.empty() ? std::nullopt : std::optional(CodePointAt(text, 0));
  iconv(from_utf16_, nullptr, nullptr, nullptr, nullptr);
  char* in_ptr = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  size_t in_left = text.size() * 2;
  std::vector<char> buf(text.size() * 4 + 16);
  char* out_ptr = buf.data();
  size_t out_left = buf.size();
  if (iconv(from_utf16_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1)) {
    const size_t at = (text.size() * 2 - in_left) / 2;
    return CodePointAt(text, std::min(at, text.size() - 1));
  }
  if (iconv(from_utf16_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<size_t>(-1)) {
    return CodePointAt(text, text.size() - 1);
  }
  out.assign(buf.data(), out_ptr);
  // iconv may map a character to a look-alike instead of failing; only a round trip is proof.
  std::u16string back;
  DecodeMultiByte(out, back);
  if (back != text) {
    size_t i = 0;
    while (i < back.size() && i < text.size() && back[i] == text[i]) ++i;
    return CodePointAt(text, std::min(i, text.size() - 1));
  }
  return std::nullopt;
}

std::optional<char32_t> TextCodec::EncodeCodePage(std::u16string_view text,
                                                  std::vector<uint8_t>& out) const {
  if (multi_byte_) return EncodeMultiByte(text, out);
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    // Single-byte tables are tiny: a byte-for-byte search beats building a reverse map.
    const uint8_t guess = static_cast<uint8_t>(c);
    if (c < 0x80 && table_[guess] == c) {
      out[i] = guess;
      continue;
    }
    const auto it = c == u'\uFFFD' ? table_.end() : std::find(table_.begin(), table_.end(), c);
    if (it == table_.end()) return CodePointAt(text, i);
    out[i] = static_cast<uint8_t>(it - table_.begin());
  }
  return std::nullopt;
}

}  // namespace jet
