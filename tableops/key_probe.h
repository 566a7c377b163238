#pragma once

// KeyProbe: whether a key name is held by a row of the table, as the probe statement
// "SELECT * FROM <table> WHERE <column>='<name>'" decides, without reading the whole table for
// every candidate.
//
// The table's key values are read once into buckets by a coarse key that never separates two
// names the engine's text comparison calls equal (ASCII letters folded, every other cased letter
// standing for one placeholder). A candidate whose bucket is empty is free. A candidate made of
// ASCII and of characters from U+0500 up (CJK and the like), which the engine's letter-by-letter
// case folding leaves alone or maps only among themselves, is compared with its bucket here;
// any other candidate runs the probe statement through the query and the engine decides. The
// probes of one import see the rows that its earlier lines inserted: the import reports each key
// it inserted with Add.

#include <QHash>
#include <QString>
#include <memory>

namespace database {
class Query;
}

namespace tableops {

class KeyProbe {
 public:
  // `query` runs the probe statements; `table` and `column` name the key ("Magic", "MagName").
  KeyProbe(database::Query& query, QString table, QString column);

  // True when a row holds `candidate`. Throws what the probe statement throws. Whenever the
  // statement runs, the query is left open on it, as a probe leaves it.
  bool Taken(const QString& candidate);
  // A row with key `name` has just been inserted.
  void Add(const QString& name);

  // The probe statement for `candidate`, its apostrophes doubled.
  QString Statement(const QString& candidate) const;
  // The bucket key of a name.
  static QString CoarseKey(const QString& name);

 private:
  void Load();
  bool RunStatement(const QString& candidate);

  database::Query& query_;
  QString table_;
  QString column_;
  bool loaded_ = false;
  bool exact_ = false;                   // the buckets are usable (a text key column was found)
  QHash<QString, QStringList> buckets_;  // coarse key -> the stored names in it
};

}  // namespace tableops
