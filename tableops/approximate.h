#pragma once

// Whether writing rows of a table touches an index whose keys the engine can only approximate:
// an index over a text column whose sort order is not the General one, or one over text holding
// a character whose key code is not established (only the file check can tell those). Access's
// Compact and Repair rebuilds such an index; the window says so once per opened file.

#include <QString>
#include <QStringList>

namespace database {
class Connection;
}

namespace tableops {

inline const QString kApproximateIndexNotice = QStringLiteral(
    "此数据库的文本索引使用了本程序无法精确维护的排序规则。在 Access "
    "中依赖这些索引之前，请先执行“压缩和修复数据库”。");

// True when `table` of the open database carries such an index. False when it cannot be told
// (closed connection, unknown table).
bool HasApproximateIndex(const database::Connection& connection, const QString& table);

// True when `table` has an index over a text or memo column (the only kind that can be
// approximate).
bool HasTextIndex(const database::Connection& connection, const QString& table);

// The tables of the file at `path` that the file check finds with approximate indexes.
QStringList ApproximateTables(const QString& path);

}  // namespace tableops
