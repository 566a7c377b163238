#pragma once

// DataSource: the link between one query and the grid that shows it. It re-emits the query's
// notifications while enabled, so a grid only ever connects to its data source.

#include <memory>

#include <QObject>

#include "database/field_types.h"

namespace database {

class Query;

class DataSource : public QObject {
  Q_OBJECT

 public:
  explicit DataSource(QObject* parent = nullptr);
  ~DataSource() override;

  Query* DataSet() const { return data_set_; }
  // Links `query` (not owned; may be null). An adopted query stays owned (and alive) until the
  // data source dies or adopts another. Emits DataSetReplaced.
  void SetDataSet(Query* query);
  // Takes ownership of `query` and links it; returns the raw handle. A query owned this way
  // lives as long as the data source.
  Query* AdoptDataSet(std::unique_ptr<Query> query);

  // While disabled the query's notifications are not passed on; enabling emits DataSetChanged.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);

  // The linked query's state, dsInactive when none is linked.
  TDataSetState State() const;

 signals:
  void DataSetReplaced();
  void DataSetChanged();
  void BeforeRecordInsert(int index);
  void RecordInserted(int index);
  void BeforeRecordRemove(int index);
  void RecordRemoved(int index);
  void RecordChanged(int index);
  void CurrentChanged(int index);
  void StateChanged(database::TDataSetState state);

 private:
  void Relink(Query* query);

  Query* data_set_ = nullptr;
  std::unique_ptr<Query> owned_;
  bool enabled_ = true;
};

}  // namespace database
