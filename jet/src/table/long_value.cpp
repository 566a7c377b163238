// Reading MEMO/OLE values (layout in long_value.h).

#include "table/long_value.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "page/data_page.h"

namespace jet {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr uint32_t kLengthMask = 0x3FFFFFFF;
constexpr uint32_t kFormMask = 0xC0000000;
constexpr uint32_t kFormInline = 0x80000000;
constexpr uint32_t kFormSingle = 0x40000000;
constexpr uint32_t kFormChain = 0x00000000;
constexpr size_t kChainPointerSize = 4;
constexpr size_t kMaxReserve = 1 << 20;

void ReadChain(const File& file, const PageReader& field, uint32_t first, size_t length,
               std::vector<uint8_t>& out) {
  std::unordered_set<uint32_t> seen;
  uint32_t next = first;
  while (out.size() < length) {
    if (next == 0) field.Fail("long value chain ends before its length");
    if (!seen.insert(next).second) field.Fail("long value chain loops");
    Page page;
    PageReader seg =
        ReadRowAt(file, RowPointer::FromU32(next), kLvalOwner, page, "long value chain");
    next = seg.U32(0);
    size_t take = std::min(seg.size() - kChainPointerSize, length - out.size());
    auto chunk = seg.Bytes(kChainPointerSize, take);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
}

}  // namespace

void ReadLongValue(const File& file, const PageReader& field, std::vector<uint8_t>& out) {
  out.clear();
  const uint32_t word = field.U32(0);
  const size_t length = word & kLengthMask;
  const uint32_t form = word & kFormMask;
  if (form == kFormInline) {
    auto bytes = field.Bytes(kHeaderSize, length);
    out.assign(bytes.begin(), bytes.end());
    return;
  }
  if (length > static_cast<uint64_t>(file.page_count()) * file.page_size()) {
    field.Fail("long value length " + std::to_string(length) + " exceeds the file size");
  }
  const uint32_t pointer = field.U32(4);
  if (form == kFormSingle) {
    Page page;
    PageReader row = ReadRowAt(file, RowPointer::FromU32(pointer), kLvalOwner, page, "long value");
    auto bytes = row.Bytes(0, length);
    out.assign(bytes.begin(), bytes.end());
    return;
  }
  if (form != kFormChain) field.Fail("unknown long value form");
  // The length is only a claim until the chain delivers it; grow as segments arrive.
  out.reserve(std::min<size_t>(length, kMaxReserve));
  ReadChain(file, field, pointer, length, out);
}

}  // namespace jet
