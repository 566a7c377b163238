#pragma once

// The window's side of the table operations' interfaces: the system clipboard (text only), the
// window's message boxes, the page's grid, and the busy cursor of long operations.

#include <QString>

#include "tableops/ports.h"
#include "ui/prompter.h"

class QWidget;

namespace ui {

class DataGrid;

class SystemClipboard : public tableops::Clipboard {
 public:
  QString Text() override;
  void SetText(const QString& text) override;
};

// Notices in the program's own boxes; a refused statement as the plain "ExecSQL FAIL" dialog
// captioned with the application title.
class WindowPrompts : public tableops::Prompter {
 public:
  WindowPrompts(ui::Prompter& prompter, QWidget* owner, QString title)
      : prompter_(prompter), owner_(owner), title_(std::move(title)) {}
  void Notice(const QString& text, Icon icon) override;
  void StatementFailed(const QString& statement, const std::exception& error) override;

 private:
  ui::Prompter& prompter_;
  QWidget* owner_;
  QString title_;
};

class GridColumns : public tableops::GridView {
 public:
  explicit GridColumns(const DataGrid& grid) : grid_(grid) {}
  std::vector<int> FieldOrder() const override;
  int SelectedIndex() const override;

 private:
  const DataGrid& grid_;
};

// The wait cursor for as long as the object lives.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace ui
