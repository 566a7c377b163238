// Data-page slot tables (layout in data_page.h).

#include "page/data_page.h"

#include <string>

namespace jet {

DataPage::DataPage(const Page& page, const FormatInfo& info) : page_(page), info_(&info) {
  const PageReader& r = page_.reader();
  if (r.U8(0) != kPageTypeData)
    r.Fail("expected a data page, found type " + std::to_string(r.U8(0)));
  count_ = r.U16(info.data_row_count);
  if (info.data_header_size + 2u * count_ > info.page_size) {
    r.Fail("slot count " + std::to_string(count_) + " does not fit in the page");
  }
}

Slot DataPage::GetSlot(uint16_t i) const {
  const PageReader& r = page_.reader();
  Slot s;
  s.word = r.U16(info_->data_header_size + 2u * i);
  s.start = s.word & kSlotOffsetMask;
  s.end =
      i == 0 ? info_->page_size : (r.U16(info_->data_header_size + 2u * (i - 1)) & kSlotOffsetMask);
  const uint32_t area_start = info_->data_header_size + 2u * count_;
  if (s.start < area_start || s.start > s.end || s.end > info_->page_size) {
    if (s.deleted()) {
      s.start = s.end = area_start;
      return s;
    }
    r.Fail("row " + std::to_string(i) + " has bad bounds " + std::to_string(s.start) + ".." +
           std::to_string(s.end));
  }
  return s;
}

PageReader ReadRowAt(const File& file, RowPointer ptr, uint32_t owner, Page& page_out,
                     std::string_view what) {
  if (ptr.page == 0 || ptr.page >= file.page_count()) {
    throw CorruptPage(file.path(), ptr.page,
                      std::string(what) + " points to a page outside the file");
  }
  page_out = file.ReadPage(ptr.page);
  DataPage dp(page_out, file.info());
  if (owner != 0 && dp.owner() != owner) {
    page_out.reader().Fail(std::string(what) + " points to a page of another owner");
  }
  if (ptr.row >= dp.slot_count()) {
    page_out.reader().Fail(std::string(what) + " points to missing row " + std::to_string(ptr.row));
  }
  Slot s = dp.GetSlot(ptr.row);
  return dp.Row(s);
}

}  // namespace jet
