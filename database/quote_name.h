#pragma once

#include <QString>

namespace database {

// `name` as it must stand in a statement of the engine's SQL dialect: in square brackets when it
// holds a character other than a letter, a digit or '_', starts with a digit, or is a reserved
// word; unchanged otherwise. A name already in brackets is left alone.
QString QuoteName(const QString& name);

// Whether `word` is a reserved word of the dialect (case-insensitive).
bool IsReservedWord(const QString& word);

}  // namespace database
