#include "ui/recent_files.h"

#include <langinfo.h>

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include "tableops/text_rules.h"

namespace ui {
namespace {

bool StartsWith(const QByteArray& bytes, std::initializer_list<unsigned char> mark) {
  if (bytes.size() < static_cast<qsizetype>(mark.size())) return false;
  qsizetype i = 0;
  for (unsigned char b : mark) {
    if (static_cast<unsigned char>(bytes.at(i++)) != b) return false;
  }
  return true;
}

bool IsUtf8Name(const QByteArray& name) {
  const QByteArray n = name.toUpper();
  return n == "UTF-8" || n == "UTF8";
}

// A decoder for the locale's character set; plain ASCII locales read as Latin-1.
QStringDecoder LocaleDecoder(const QByteArray& charset) {
  if (IsUtf8Name(charset)) return QStringDecoder(QStringConverter::Utf8);
  QStringDecoder decoder(charset.constData());
  if (!decoder.isValid()) return QStringDecoder(QStringConverter::Latin1);
  return decoder;
}

QStringEncoder LocaleEncoder(const QByteArray& charset) {
  if (IsUtf8Name(charset)) return QStringEncoder(QStringConverter::Utf8);
  QStringEncoder encoder(charset.constData());
  if (!encoder.isValid()) return QStringEncoder(QStringConverter::Latin1);
  return encoder;
}

}  // namespace

QByteArray LocaleCharset() {
  const char* name = nl_langinfo(CODESET);
  return name != nullptr ? QByteArray(name) : QByteArray("UTF-8");
}

std::optional<QStringList> DecodeRecentFiles(const QByteArray& bytes,
                                             const QByteArray& locale_charset,
                                             TextEncoding* encoding) {
  QString text;
  TextEncoding found;
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) {
    found.kind = TextEncoding::kUtf8;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    text = decoder.decode(bytes.mid(3));
    if (decoder.hasError()) return std::nullopt;
  } else if (StartsWith(bytes, {0xFF, 0xFE})) {
    found.kind = TextEncoding::kUtf16Le;
    QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
    text = decoder.decode(bytes.mid(2));
  } else if (StartsWith(bytes, {0xFE, 0xFF})) {
    found.kind = TextEncoding::kUtf16Be;
    QStringDecoder decoder(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
    text = decoder.decode(bytes.mid(2));
  } else {
    found.kind = TextEncoding::kLocale;
    found.locale_charset = locale_charset;
    QStringDecoder decoder = LocaleDecoder(locale_charset);
    text = decoder.decode(bytes);
  }
  if (encoding != nullptr) *encoding = found;
  return tableops::SplitLines(text);
}

std::optional<QByteArray> EncodeRecentFiles(const QStringList& entries,
                                            const TextEncoding& encoding) {
  QString text;
  for (const QString& entry : entries) text += entry + QStringLiteral("\r\n");
  switch (encoding.kind) {
    case TextEncoding::kUtf8:
      return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::kUtf16Le: {
      QStringEncoder encoder(QStringConverter::Utf16LE);
      return QByteArray("\xFF\xFE") + QByteArray(encoder.encode(text));
    }
    case TextEncoding::kUtf16Be: {
      QStringEncoder encoder(QStringConverter::Utf16BE);
      return QByteArray("\xFE\xFF") + QByteArray(encoder.encode(text));
    }
    case TextEncoding::kLocale: {
      if (IsUtf8Name(encoding.locale_charset)) return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
      QStringEncoder encoder = LocaleEncoder(encoding.locale_charset);
      return QByteArray(encoder.encode(text));
    }
  }
  return std::nullopt;
}

bool ReadRecentFiles(const QString& path, const QByteArray& locale_charset, QStringList* entries,
                     TextEncoding* encoding) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  std::optional<QStringList> lines = DecodeRecentFiles(bytes, locale_charset, encoding);
  if (!lines) return false;
  *entries = *lines;
  return true;
}

bool WriteRecentFiles(const QString& path, const QStringList& entries,
                      const TextEncoding& encoding) {
  const std::optional<QByteArray> bytes = EncodeRecentFiles(entries, encoding);
  if (!bytes) return false;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(*bytes) == bytes->size() && file.flush();
}

bool SamePath(const QString& a, const QString& b) { return tableops::SameText(a, b); }

}  // namespace ui
