#include "database/data_source.h"

#include <utility>

#include "database/query.h"

namespace database {

DataSource::DataSource(QObject* parent) : QObject(parent) {}

DataSource::~DataSource() {
  // An owned query dies with the data source; nobody listens any more.
  blockSignals(true);
  Relink(nullptr);
  owned_.reset();
}

void DataSource::SetDataSet(Query* query) {
  if (query == data_set_) return;
  Relink(query);
  emit DataSetReplaced();
}

Query* DataSource::AdoptDataSet(std::unique_ptr<Query> query) {
  Query* raw = query.get();
  Relink(raw);
  owned_ = std::move(query);
  emit DataSetReplaced();
  return raw;
}

void DataSource::Relink(Query* query) {
  if (data_set_ != nullptr) disconnect(data_set_, nullptr, this, nullptr);
  data_set_ = query;
  if (query == nullptr) return;
  // Each notification is passed on only while enabled.
  auto pass = [this](auto signal) {
    return [this, signal](auto... args) {
      if (enabled_) emit(this->*signal)(args...);
    };
  };
  connect(query, &Query::DataSetChanged, this, pass(&DataSource::DataSetChanged));
  connect(query, &Query::BeforeRecordInsert, this, pass(&DataSource::BeforeRecordInsert));
  connect(query, &Query::RecordInserted, this, pass(&DataSource::RecordInserted));
  connect(query, &Query::BeforeRecordRemove, this, pass(&DataSource::BeforeRecordRemove));
  connect(query, &Query::RecordRemoved, this, pass(&DataSource::RecordRemoved));
  connect(query, &Query::RecordChanged, this, pass(&DataSource::RecordChanged));
  connect(query, &Query::CurrentChanged, this, pass(&DataSource::CurrentChanged));
  connect(query, &Query::StateChanged, this, pass(&DataSource::StateChanged));
  connect(query, &QObject::destroyed, this, [this] { data_set_ = nullptr; });
}

void DataSource::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (enabled_) emit DataSetChanged();
}

TDataSetState DataSource::State() const {
  return data_set_ != nullptr ? data_set_->State() : dsInactive;
}

}  // namespace database
