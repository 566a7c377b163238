#pragma once

// The record of one open table. Handles only: the Qt parent tree owns the objects (the data
// source owns its query), and only the window creates and frees them.

class QWidget;
namespace database {
class DataSource;
class Query;
}  // namespace database
namespace ui {
class DataGrid;
}

struct TTablePage {
  QWidget* TabSheet = nullptr;           // child of PageControl; parent of Grid and Source
  ui::DataGrid* Grid = nullptr;          // shows Source
  database::DataSource* Source = nullptr;
  database::Query* Query = nullptr;      // owned by Source
};
