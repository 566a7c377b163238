// Table scans and row lookup (see table_scan.h).

#include "table/table_scan.h"

#include <string>

#include "page/usage_map.h"

namespace jet {
namespace {

constexpr int kMaxOverflowHops = 8;
constexpr uint16_t kMaxRowsPerPage = 256;  // row numbers are one byte

// The row an overflow header points to (following further headers a bounded number of times).
PageReader FollowOverflow(const File& file, const TableInfo& table, const PageReader& header,
                          Page& holder) {
  PageReader row = header;
  for (int hop = 0; hop < kMaxOverflowHops; ++hop) {
    RowPointer ptr = RowPointer::FromU32(row.U32(0));
    Page target;
    if (ptr.page == 0 || ptr.page >= file.page_count()) {
      row.Fail("overflow row points outside the file");
    }
    target = file.ReadPage(ptr.page);
    DataPage dp(target, file.info());
    if (dp.owner() != table.def.tdef_page) row.Fail("overflow row points to another table");
    if (ptr.row >= dp.slot_count()) row.Fail("overflow row points to a missing row");
    Slot s = dp.GetSlot(ptr.row);
    holder = target;
    row = dp.Row(s);
    if (!(s.overflow() && !s.deleted())) return row;
  }
  row.Fail("overflow rows form a loop");
}

}  // namespace

void ScanRows(const File& file, const TableInfo& table,
              const std::function<bool(RowId, const PageReader&)>& fn) {
  const std::vector<uint32_t> pages =
      ReadUsageMap(file, table.owned_map, UsageMapCheck::kPagesExist);
  for (uint32_t n : pages) {
    DataPage dp(file.ReadPage(n), file.info());
    if (dp.owner() != table.def.tdef_page) {
      dp.page().reader().Fail("page in the usage map of " + ToUtf8(table.def.name) +
                              " belongs to another table");
    }
    if (dp.slot_count() > kMaxRowsPerPage) {
      dp.page().reader().Fail("more rows than a row number can address");
    }
    for (uint16_t i = 0; i < dp.slot_count(); ++i) {
      Slot s = dp.GetSlot(i);
      if (s.deleted()) continue;
      RowId id{n, static_cast<uint8_t>(i)};
      if (s.overflow()) {
        Page holder;
        PageReader row = FollowOverflow(file, table, dp.Row(s), holder);
        if (!fn(id, row)) return;
      } else if (!fn(id, dp.Row(s))) {
        return;
      }
    }
  }
}

bool FindRow(const File& file, const TableInfo& table, RowId id, Page& holder, PageReader& out) {
  if (id.page == 0 || id.page >= file.page_count()) return false;
  Page page = file.ReadPage(id.page);
  if (page.type() != kPageTypeData) return false;
  DataPage dp(page, file.info());
  if (dp.owner() != table.def.tdef_page || id.row >= dp.slot_count()) return false;
  Slot s = dp.GetSlot(id.row);
  if (s.deleted()) return false;
  holder = page;
  out = dp.Row(s);
  if (s.overflow()) out = FollowOverflow(file, table, out, holder);
  return true;
}

}  // namespace jet
