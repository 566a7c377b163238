#pragma once

// The clipboard import: every non-blank line of the text becomes one INSERT INTO statement
// over the grid's fields, executed through the page's query. StdItems lines get consecutive Idx
// numbers after the largest one; Magic and Monster lines get a key name no row holds yet. A
// refused statement is reported through the prompter and the import goes on; any other error
// ends it (thrown). Afterwards the query is open on the whole table, on its last record.

#include <QString>
#include <QStringList>

#include "database/field_types.h"
#include "tableops/ports.h"

namespace tableops {

// The notice shown when the first line does not fit the grid's fields.
inline const QString kImportMismatch = QStringLiteral("数据类型不一致无法导入 ！！！");

struct ImportResult {
  int statements = 0;  // statements executed or attempted
  int failed = 0;      // of which the engine refused
  bool wrote = false;  // at least one statement succeeded
  QStringList sent;    // every INSERT INTO statement, in order
};

// Imports `text` (the clipboard's) into the page's table. Each statement is one commit, as the
// window writes; with `batch` > 0 every `batch` statements are one transaction instead (a refused
// statement writes nothing and the batch goes on), which is much faster on large texts.
ImportResult ImportText(const Page& page, const QString& text, Prompter& prompter, int batch = 0);
// Reads the clipboard and imports its text.
ImportResult PasteFromClipboard(const Page& page, Clipboard& clipboard, Prompter& prompter);

// The value of `token` as the statement writes it for a field of `type`.
QString FormatValue(const QString& token, database::TFieldType type);
// Whether `type` takes its values as quoted text.
bool IsTextFieldType(database::TFieldType type);

}  // namespace tableops
