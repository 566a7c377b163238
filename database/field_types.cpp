#include "database/field_types.h"

namespace database {

QString FieldTypeName(TFieldType type) {
  switch (type) {
    case ftString: return QStringLiteral("String");
    case ftSmallint: return QStringLiteral("Smallint");
    case ftInteger: return QStringLiteral("Integer");
    case ftWord: return QStringLiteral("Word");
    case ftBoolean: return QStringLiteral("Boolean");
    case ftFloat: return QStringLiteral("Float");
    case ftCurrency: return QStringLiteral("Currency");
    case ftBCD: return QStringLiteral("BCD");
    case ftDate: return QStringLiteral("Date");
    case ftTime: return QStringLiteral("Time");
    case ftDateTime: return QStringLiteral("DateTime");
    case ftBytes: return QStringLiteral("Bytes");
    case ftVarBytes: return QStringLiteral("VarBytes");
    case ftAutoInc: return QStringLiteral("AutoInc");
    case ftBlob: return QStringLiteral("Blob");
    case ftMemo: return QStringLiteral("Memo");
    case ftGraphic: return QStringLiteral("Graphic");
    case ftFmtMemo: return QStringLiteral("FmtMemo");
    case ftFixedChar: return QStringLiteral("FixedChar");
    case ftWideString: return QStringLiteral("WideString");
    case ftLargeint: return QStringLiteral("Largeint");
    case ftVariant: return QStringLiteral("Variant");
    case ftInterface: return QStringLiteral("Interface");
    case ftIDispatch: return QStringLiteral("IDispatch");
    case ftGuid: return QStringLiteral("Guid");
    case ftFMTBcd: return QStringLiteral("FMTBcd");
    case ftFixedWideChar: return QStringLiteral("FixedWideChar");
    case ftWideMemo: return QStringLiteral("WideMemo");
    case ftShortint: return QStringLiteral("Shortint");
    case ftByte: return QStringLiteral("Byte");
    case ftLongWord: return QStringLiteral("LongWord");
    case ftExtended: return QStringLiteral("Extended");
    case ftSingle: return QStringLiteral("Single");
    case ftDataSet: return QStringLiteral("DataSet");
    case ftUnknown: break;
  }
  return QStringLiteral("Unknown");
}

bool IsTaggedType(TFieldType type) {
  switch (type) {
    case ftMemo:
    case ftWideMemo:
    case ftBlob:
    case ftGraphic:
    case ftBytes:
    case ftVarBytes:
      return true;
    default:
      return false;
  }
}

}  // namespace database
