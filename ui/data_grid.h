#pragma once

// DataGrid: the data-aware grid of one table page. A QTableView over a GridModel with the habits
// of a classic database grid: column titles, a record indicator (the vertical header), editing in
// place that puts the query into dsEdit, the current row following the query's cursor and moving
// it, movable and resizable columns, Tab between cells, Ctrl+Delete with a confirmation, Escape
// cancelling a pending edit, and a new record left unchanged dropped when the grid loses focus.

#include <QTableView>
#include <vector>

#include "ui/guard.h"

class QMenu;

namespace database {
class DataSource;
class Query;
}  // namespace database

namespace ui {

class GridModel;

class DataGrid : public QTableView {
  Q_OBJECT

 public:
  // The confirmation asked by Ctrl+Delete.
  static const QString kDeleteQuestion;
  static const QString kDeleteCaption;

  explicit DataGrid(const HandlerContext& context, QWidget* parent = nullptr);

  // Shows `source`; null detaches the grid, which then shows nothing.
  void SetDataSource(database::DataSource* source);
  database::DataSource* DataSource() const;
  database::Query* Query() const;
  GridModel* Model() const { return model_; }

  // The context menu shown on a right click (not owned).
  void SetPopupMenu(QMenu* menu) { popup_menu_ = menu; }
  QMenu* PopupMenu() const { return popup_menu_; }

  // Field indexes in the order the columns are shown, after the user moved columns.
  std::vector<int> VisibleFieldOrder() const;
  // The visible position of the current column, and the field it shows; -1 when none.
  int SelectedIndex() const;
  int SelectedField() const;

  // Asks "Delete record?" and deletes the current record when confirmed (Ctrl+Delete).
  void DeleteWithConfirmation();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  // Down on the last record and Tab from the last cell append a record, as a data grid does.
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

 private:
  void FollowQuery(int row);
  void FitColumns();
  void ShowPopupMenu(const QPoint& pos);
  void DropUnchangedInsert();
  // Appends a record and returns the cell in `column` of it; invalid when that failed.
  QModelIndex AppendRecord(int column);

  HandlerContext context_;
  GridModel* model_;
  QMenu* popup_menu_ = nullptr;
  bool following_ = false;  // true while the view moves because the query moved
};

}  // namespace ui
