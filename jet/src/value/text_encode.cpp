#include "value/text_encode.h"

#include <cstdio>
#include <string>

#include "jet/error.h"

namespace jet {
namespace {

constexpr size_t kMinCompressedChars = 3;
constexpr size_t kMaxCompressedMemoChars = 1024;

}  // namespace

bool Jet4TextCompresses(std::u16string_view text, bool compression_allowed, bool memo) {
  if (!compression_allowed || text.size() < kMinCompressedChars) return false;
  if (memo && text.size() > kMaxCompressedMemoChars) return false;
  for (char16_t c : text) {
    if (c == 0 || c > 0xFF) return false;
  }
  return true;
}

namespace {

// Text whose first character is U+FEFF would begin with the bytes FF FE, which every reader
// takes for the compressed form's marker. It is stored in the compressed form instead: the marker,
// a 00 that switches to two-byte characters, then the text. In that run a character whose low
// byte is 00 would read as another switch, so such text has no stored form and is refused, as it
// is in a column without the compression flag or a memo longer than the compressed form allows.
std::vector<uint8_t> EncodeMarkedText(std::u16string_view text, bool compression_allowed,
                                      bool memo) {
  auto refuse = [](const std::string& why) {
    throw Error(Error::Kind::kInvalidArgument,
                "Text that starts with U+FEFF (a byte-order mark) cannot be stored " + why);
  };
  if (!compression_allowed) refuse("in a column without Unicode compression");
  if (memo && text.size() > kMaxCompressedMemoChars) {
    refuse("in a memo longer than " + std::to_string(kMaxCompressedMemoChars) + " characters");
  }
  std::vector<uint8_t> out = {0xFF, 0xFE, 0x00};
  out.reserve(text.size() * 2 + 3);
  for (char16_t c : text) {
    if ((c & 0xFF) == 0) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(c));
      refuse(std::string("when it holds a character whose low byte is 00 (U+") + code + ")");
    }
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeJet4Text(std::u16string_view text, bool compression_allowed, bool memo) {
  if (!text.empty() && text[0] == 0xFEFF) return EncodeMarkedText(text, compression_allowed, memo);
  std::vector<uint8_t> out;
  if (Jet4TextCompresses(text, compression_allowed, memo)) {
    out.reserve(text.size() + 2);
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (char16_t c : text) out.push_back(static_cast<uint8_t>(c));
    return out;
  }
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

}  // namespace jet
