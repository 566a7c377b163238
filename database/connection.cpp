#include "database/connection.h"

#include <algorithm>

#include <QFile>

#include "database/field_values.h"
#include "database/query.h"
#include "query/saved_query.h"
#include "jet/database.h"

namespace database {
namespace {

using Kind = jet::Error::Kind;

// A segment "Key=value" of a connection string starts a new pair only when its key is made of
// letters and blanks; otherwise the ';' before it belonged to the previous value (a path may
// hold ';').
bool StartsPair(const QString& segment) {
  const qsizetype eq = segment.indexOf(u'=');
  if (eq <= 0) return false;
  for (qsizetype i = 0; i < eq; ++i) {
    const QChar c = segment[i];
    if (!(c.isLetter() || c == u' ')) return false;
  }
  return !segment.left(eq).trimmed().isEmpty();
}

}  // namespace

Connection::Connection(QObject* parent) : QObject(parent) {}

Connection::~Connection() {
  blockSignals(true);
  Close();
  for (Query* query : queries_) query->connection_ = nullptr;
}

void Connection::SetConnectionString(const QString& text) {
  Close();
  connection_string_ = text;
}

QString Connection::DataSourceOf(const QString& connection_string) {
  QStringList pairs;
  for (const QString& segment : connection_string.split(u';')) {
    if (pairs.isEmpty() || StartsPair(segment)) {
      pairs.append(segment);
    } else {
      pairs.last() += u';' + segment;
    }
  }
  for (const QString& pair : pairs) {
    const qsizetype eq = pair.indexOf(u'=');
    if (eq > 0 &&
        pair.left(eq).trimmed().compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0) {
      return pair.mid(eq + 1);
    }
  }
  return QString();
}

void Connection::Open() {
  if (db_) return;
  read_only_reason_.clear();
  const QString path = DataSourceOf(connection_string_);
  if (path.isEmpty()) {
    Fail(Kind::kInvalidArgument, QStringLiteral("The connection string names no Data Source"));
  }
  const std::string native = QFile::encodeName(path).toStdString();
  try {
    db_ = jet::Database::Open(native, jet::OpenMode::kReadWrite);
  } catch (const jet::Error& e) {
    // Another writer, no write permission or a format the engine only reads: read-only then.
    if (e.kind() != Kind::kLocked && e.kind() != Kind::kIo && e.kind() != Kind::kNotSupported) {
      throw;
    }
    db_ = jet::Database::Open(native, jet::OpenMode::kReadOnly);
    read_only_reason_ = QString::fromUtf8(e.what());
  }
  emit AfterConnect();
}

void Connection::Close() {
  if (!db_) return;
  const std::vector<Query*> queries = queries_;  // closing may not change the list, but be safe
  for (Query* query : queries) query->ConnectionClosing();
  db_.reset();
  emit AfterDisconnect();
}

bool Connection::ReadOnly() const { return db_ && db_->read_only(); }

void Connection::GetTableNames(QStringList& list) const {
  list.clear();
  for (const jet::TableListEntry& entry : query::ListTables(Engine())) {
    if (entry.type == "TABLE" || entry.type == "VIEW") {
      list.append(ToQString(entry.name));
    }
  }
}

bool Connection::IsSavedQuery(const QString& name) const {
  return query::FindSavedQuery(Engine(), name.toStdU16String()).has_value();
}

jet::Database& Connection::Engine() const {
  if (!db_) Fail(Kind::kInvalidArgument, QStringLiteral("The connection is not open"));
  return *db_;
}

void Connection::Attach(Query* query) { queries_.push_back(query); }

void Connection::Detach(Query* query) {
  queries_.erase(std::remove(queries_.begin(), queries_.end(), query), queries_.end());
}

}  // namespace database
