// TFrmMain: the handlers of the grids' context menu. Each finds the current page and hands it to
// the table operations with the system clipboard and the window's boxes.

#include <QMenu>
#include <QTabWidget>

#include "database/query.h"
#include "shared/share.h"
#include "tableops/copy.h"
#include "tableops/import.h"
#include "tableops/renumber.h"
#include "ui/data_grid.h"
#include "ui/frm_main.h"
#include "ui/table_ops_ports.h"

namespace ui {
namespace {

QString CaptionOf(const QTabWidget* pages, const TTablePage& page) {
  return pages->tabText(pages->indexOf(page.TabSheet));
}

}  // namespace

template <typename Op>
void TFrmMain::OnCurrentPage(bool busy, Op&& op) {
  TTablePage* page = CurrentPage();
  if (page == nullptr) return;
  const GridColumns grid(*page->Grid);
  const tableops::Page target{CaptionOf(PageControl, *page), page->Query, &grid};
  if (!busy) {
    op(target);
    return;
  }
  const BusyCursor wait;
  op(target);
}

void TFrmMain::PopupMenuPopup() {
  const TTablePage* page = CurrentPage();
  if (page == nullptr) return;
  const bool std_items = tableops::IsStdItemsCaption(CaptionOf(PageControl, *page));
  Menu_OrderStdItemIdx->setVisible(std_items);
  Menu_OrderStdItemIdxLine->setVisible(std_items);
}

void TFrmMain::Menu_CopyRowClick() {
  SystemClipboard clipboard;
  OnCurrentPage(false, [&](const tableops::Page& page) { tableops::CopyRow(page, clipboard); });
}

void TFrmMain::Menu_CopyColClick() {
  SystemClipboard clipboard;
  OnCurrentPage(true, [&](const tableops::Page& page) { tableops::CopyColumn(page, clipboard); });
}

void TFrmMain::Menu_CopyFieldClick() {
  SystemClipboard clipboard;
  OnCurrentPage(false, [&](const tableops::Page& page) { tableops::CopyValue(page, clipboard); });
}

void TFrmMain::Menu_CopyTableClick() {
  SystemClipboard clipboard;
  OnCurrentPage(true, [&](const tableops::Page& page) { tableops::CopyTable(page, clipboard); });
}

void TFrmMain::Menu_PasteClick() {
  SystemClipboard clipboard;
  WindowPrompts prompts(prompter_, this, title_);
  OnCurrentPage(true, [&](const tableops::Page& page) {
    const tableops::ImportResult result = tableops::PasteFromClipboard(page, clipboard, prompts);
    NoticeApproximateIndex(page.caption, result.wrote);
  });
}

void TFrmMain::Menu_OrderStdItemIdxClick() {
  OnCurrentPage(true, [&](const tableops::Page& page) {
    const int written = tableops::RenumberStdItems(page);
    NoticeApproximateIndex(page.caption, written > 0);
  });
}

}  // namespace ui
