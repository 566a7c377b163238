#pragma once

// Connection: one database file opened through the engine, named by an OLE DB style connection
// string whose "Data Source" is the file path. Queries attach to a connection; closing it cancels
// their pending edits and closes them.

#include <memory>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

namespace jet {
class Database;
}

namespace database {

class Query;

class Connection : public QObject {
  Q_OBJECT

 public:
  explicit Connection(QObject* parent = nullptr);
  // Closes the connection and detaches every query still attached.
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The whole connection string; setting it closes an open connection.
  QString ConnectionString() const { return connection_string_; }
  void SetConnectionString(const QString& text);
  // The value of "Data Source" in `connection_string` (keys compared case-insensitively,
  // surrounding blanks trimmed, no unquoting); empty when absent.
  static QString DataSourceOf(const QString& connection_string);

  // Toolkit properties kept for the window's setup. Neither changes what Open does: there is
  // never a login dialog, and the connection stays open while no query is open.
  bool KeepConnection() const { return keep_connection_; }
  void SetKeepConnection(bool on) { keep_connection_ = on; }
  bool LoginPrompt() const { return login_prompt_; }
  void SetLoginPrompt(bool on) { login_prompt_ = on; }

  // Opens the file named by "Data Source": for writing when the file allows it, otherwise
  // read-only. Nothing when already open. Throws jet::Error with the engine's message (no such
  // file, not an Access file, locked, corrupt); the connection then stays closed.
  void Open();
  // Cancels every attached query's pending edit, closes those queries, then closes the file.
  // Nothing when already closed.
  void Close();
  bool Connected() const { return db_ != nullptr; }
  // Whether the open file could only be opened read-only. False when closed.
  bool ReadOnly() const;
  // Why the open file could not be opened for writing (the engine's message); empty when it was.
  const QString& ReadOnlyReason() const { return read_only_reason_; }

  // Clears `list` and fills it with the names of the engine's TABLES listing: every "TABLE"
  // row, then every "VIEW" row, in the engine's order; select queries that declare parameters are
  // left out, as the provider lists them as procedures. Throws jet::Error when not connected.
  void GetTableNames(QStringList& list) const;
  // Whether `name` is a saved query of the open file (a page over it has no indexes of its
  // own). Throws jet::Error when not connected.
  bool IsSavedQuery(const QString& name) const;

  // The engine behind the open connection; throws jet::Error (kInvalidArgument) when closed.
  jet::Database& Engine() const;

 signals:
  void AfterConnect();
  void AfterDisconnect();

 private:
  friend class Query;
  void Attach(Query* query);
  void Detach(Query* query);

  QString connection_string_;
  bool keep_connection_ = true;
  bool login_prompt_ = false;
  QString read_only_reason_;
  std::unique_ptr<jet::Database> db_;  // null while closed
  std::vector<Query*> queries_;        // attached queries, not owned
};

}  // namespace database
