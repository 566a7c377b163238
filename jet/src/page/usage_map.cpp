// Reading usage maps (layout in usage_map.h).

#include "page/usage_map.h"

#include <string>

namespace jet {
namespace {

constexpr uint8_t kMapInline = 0x00;
constexpr uint8_t kMapReference = 0x01;
constexpr size_t kBitmapPageHeader = 4;

// Appends the pages set in `bitmap`, where bit 0 of byte 0 stands for page `first`.
void CollectBits(const File& file, const PageReader& where, std::span<const uint8_t> bitmap,
                 uint64_t first, UsageMapCheck check, std::vector<uint32_t>& pages) {
  for (size_t k = 0; k < bitmap.size(); ++k) {
    uint8_t byte = bitmap[k];
    if (byte == 0) continue;
    for (int i = 0; i < 8; ++i) {
      if ((byte & (1 << i)) == 0) continue;
      uint64_t page = first + 8 * k + static_cast<uint64_t>(i);
      if (page >= file.page_count()) {
        if (check == UsageMapCheck::kPagesExist) {
          where.Fail("usage map lists page " + std::to_string(page) +
                     " beyond the end of the file");
        }
        return;  // bits only go up from here
      }
      pages.push_back(static_cast<uint32_t>(page));
    }
  }
}

void ReadReferenceMap(const File& file, const PageReader& row, UsageMapCheck check,
                      std::vector<uint32_t>& pages) {
  const FormatInfo& info = file.info();
  const uint64_t per_page = info.usage_map_pages_per_bitmap;
  const size_t n = (row.size() - 1) / 4;
  for (size_t j = 0; j < n; ++j) {
    uint32_t bitmap_page = row.U32(1 + 4 * j);
    if (bitmap_page == 0) continue;
    if (bitmap_page >= file.page_count()) {
      // Access writes a reference-type global map whose only pointer is 0xFFFFFF80, no page at
      // all (its bytes read like the tail of an inline bitmap that marks the pages past the end
      // as free). Past the end every page is free anyway, so the global map skips it.
      if (check == UsageMapCheck::kAny) continue;
      row.Fail("usage map points to bitmap page " + std::to_string(bitmap_page) +
               " beyond the end of the file");
    }
    Page p = file.ReadPage(bitmap_page);
    if (p.type() != kPageTypeUsageBitmap) {
      p.reader().Fail("expected a usage-map bitmap page, found type " + std::to_string(p.type()));
    }
    auto bits = p.reader().Bytes(kBitmapPageHeader, info.page_size - kBitmapPageHeader);
    CollectBits(file, p.reader(), bits, j * per_page, check, pages);
  }
}

}  // namespace

std::vector<uint32_t> ReadUsageMap(const File& file, uint32_t map_row, UsageMapCheck check) {
  Page page;
  PageReader row = ReadRowAt(file, RowPointer::FromU32(map_row), 0, page, "usage map pointer");
  std::vector<uint32_t> pages;
  switch (row.U8(0)) {
    case kMapInline:
      CollectBits(file, row, row.Bytes(5, row.size() - std::min<size_t>(5, row.size())), row.U32(1),
                  check, pages);
      break;
    case kMapReference:
      ReadReferenceMap(file, row, check, pages);
      break;
    default:
      row.Fail("unknown usage map type " + std::to_string(row.U8(0)));
  }
  return pages;
}

}  // namespace jet
