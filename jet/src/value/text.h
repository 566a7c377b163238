#pragma once

// Text as the file stores it, decoded to UTF-16.
//
// Jet4: UCS-2 little-endian. A value that starts with the bytes FF FE is "compressed": after the
// marker, a 00 byte toggles between compressed mode (one byte = one character U+0000-U+00FF) and
// uncompressed mode (two bytes = one UTF-16 unit); the value starts compressed and may end in
// either mode. Names in TDEFs are plain UCS-2.
// Jet3: bytes in the database code page (header 0x3C), usually 1252; names use it too.

#include <iconv.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/schema.h"

namespace jet {

// Decodes Jet4 text: compressed when it starts with FF FE, UCS-2 otherwise. A trailing odd byte
// of an uncompressed run is dropped.
void DecodeJet4Text(std::span<const uint8_t> bytes, std::u16string& out);
// Plain UCS-2 LE (TDEF and catalog names in Jet4).
void DecodeUcs2(std::span<const uint8_t> bytes, std::u16string& out);

// Folds one UTF-16 unit to lower case, for names (table, column, index) and for the SQL
// engine's case-insensitive comparisons: ASCII, Latin-1, Latin Extended-A, Greek (accented
// capitals and final sigma too), Cyrillic and full-width Latin; other characters stay as they
// are.
char16_t FoldCase(char16_t c);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
// <0, 0, >0 comparing folded text; ties are not broken.
int CompareIgnoreCase(std::u16string_view a, std::u16string_view b);

// Decodes the text of one database. For Jet3 it converts from the code page with iconv: single-
// byte code pages through a 256-entry table built once, multi-byte ones (932, 936, 949, 950)
// per value. Unknown code pages are read as 1252. Not thread-safe.
// EncodeCodePage is the way back for Jet3 text: characters the code page cannot hold are never
// replaced, the first of them is reported instead.
class TextCodec {
 public:
  TextCodec(Format format, uint16_t code_page);
  ~TextCodec();
  TextCodec(const TextCodec&) = delete;
  TextCodec& operator=(const TextCodec&) = delete;

  // A TEXT or MEMO value.
  void Decode(std::span<const uint8_t> bytes, std::u16string& out) const;
  std::u16string Decode(std::span<const uint8_t> bytes) const {
    std::u16string s;
    Decode(bytes, s);
    return s;
  }
  // A name from a TDEF.
  std::u16string DecodeName(std::span<const uint8_t> bytes) const;

  // Jet3: the code-page bytes of `text` in `out`. Returns the first character (a whole code
  // point) that the code page has no bytes for, leaving `out` unspecified; nullopt on success.
  std::optional<char32_t> EncodeCodePage(std::u16string_view text, std::vector<uint8_t>& out) const;

  uint16_t code_page() const { return code_page_; }
  Format format() const { return format_; }

 private:
  void BuildSingleByteTable();
  void DecodeMultiByte(std::span<const uint8_t> bytes, std::u16string& out) const;
  std::optional<char32_t> EncodeMultiByte(std::u16string_view text,
                                          std::vector<uint8_t>& out) const;

  Format format_;                                  // Jet3 uses the code page, Jet4 UCS-2
  uint16_t code_page_;                             // the code page actually used
  bool multi_byte_ = false;                        // DBCS code page: convert with iconv per value
  iconv_t iconv_ = reinterpret_cast<iconv_t>(-1);  // to UTF-16LE, for multi-byte pages
  std::array<char16_t, 256> table_{};              // single-byte code page to UTF-16
  iconv_t from_utf16_ = reinterpret_cast<iconv_t>(-1);  // UTF-16LE to a multi-byte page
};

}  // namespace jet
