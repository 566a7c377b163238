#pragma once

// GridModel: the table model of one DataGrid over the query of a DataSource. It holds no copy of
// the rows: data() asks the query for the one cell on demand, so a table of 200,000 rows costs
// nothing until it is shown. The vertical header is the record-indicator column.

#include <QAbstractTableModel>
#include <QPointer>

#include "database/data_source.h"
#include "ui/guard.h"

namespace database {
class Query;
}  // namespace database

namespace ui {

class GridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The texts of the record indicator by state of the current record.
  static const QString kBrowseMark;
  static const QString kEditMark;
  static const QString kInsertMark;

  GridModel(const HandlerContext& context, QObject* parent = nullptr);

  // Shows `source` (may be null: the grid is detached and shows nothing).
  void SetDataSource(database::DataSource* source);
  database::DataSource* DataSource() const { return source_; }
  // The query shown, or null when detached or no query is linked.
  database::Query* Query() const;
  // True while rows are being inserted, removed or reset: the view's current index moves on its
  // own then, and such moves must not move the query.
  bool Changing() const { return changing_ > 0; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Assigns the text to the field of that record: the record becomes current and enters dsEdit
  // first. An error goes to the standard error box and the method returns false.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 signals:
  // The query's current record is now `row` (-1: none); the view follows.
  void CurrentRecordChanged(int row);

 private:
  void Reset();
  void OnBeforeRecordInsert(int index);
  void OnRecordInserted(int index);
  void OnBeforeRecordRemove(int index);
  void OnRecordRemoved(int index);
  void OnRecordChanged(int index);
  void OnCurrentChanged(int index);
  void RefreshIndicator();
  bool ValidCell(const QModelIndex& index) const;

  HandlerContext context_;
  QPointer<database::DataSource> source_;
  int rows_ = 0;            // the row count the view has been told about
  int columns_ = 0;         // likewise for columns
  int indicator_row_ = -1;  // the row whose header shows the indicator
  int changing_ = 0;        // depth of structural changes in progress
  enum class Pending { kNone, kInsert, kRemove };
  Pending pending_ = Pending::kNone;  // a begin of rows sent, its end not yet
};

}  // namespace ui
