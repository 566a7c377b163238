#include "value/text_encode.h"

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

std::vector<uint8_t> EncodeJet4Text(std::u16string_view text, bool compression_allowed,
                                    bool memo) {
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
