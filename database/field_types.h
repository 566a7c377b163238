#pragma once

// The data layer's type codes: how a query column arrives (TFieldType) and what a query's cursor
// is doing (TDataSetState). The names are the toolkit's; the enumerators are unscoped on purpose
// so that callers write database::ftInteger and database::dsEdit.

#include <QString>

namespace database {

enum TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftFMTBcd,
  ftFixedWideChar,
  ftWideMemo,
  ftShortint,
  ftByte,
  ftLongWord,
  ftExtended,
  ftSingle,
  ftDataSet,
};

enum TDataSetState {
  dsInactive,  // closed: no rows, no fields
  dsBrowse,    // open and positioned, nothing pending
  dsEdit,      // the current record is being changed
  dsInsert,    // a new record is being composed; not yet in the table
  dsSetKey,    // key-entry mode; never entered by this layer, only tested for
};

// The type's name without the "ft" prefix ("Memo", "WideMemo", "Blob"): used in the tags that
// stand for long values in display texts.
QString FieldTypeName(TFieldType type);

// True for the types whose display text is a tag instead of the content.
bool IsTaggedType(TFieldType type);

}  // namespace database
