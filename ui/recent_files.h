#pragma once

// The file of the recent-files list, MDB.txt: one path per line, most recent first. A file
// that begins with a byte-order mark (UTF-8, UTF-16 LE, UTF-16 BE) is read in that encoding;
// any other in the locale's character set. The encoding found is written back, with its mark;
// a locale whose character set is UTF-8 writes the UTF-8 mark.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace ui {

struct TextEncoding {
  enum Kind { kLocale, kUtf8, kUtf16Le, kUtf16Be };
  Kind kind = kLocale;
  QByteArray locale_charset;  // for kLocale: the character set's name ("UTF-8", "GB18030")
  bool operator==(const TextEncoding&) const = default;
};

// The character set of the user's locale (LC_CTYPE), e.g. "UTF-8".
QByteArray LocaleCharset();

// The lines of `bytes` (CR LF, CR or LF end a line; a break at the end adds no line) and the
// encoding they were in. Nothing when the text cannot be decoded (a UTF-8 mark followed by
// bytes that are not UTF-8, a character set the system does not know).
std::optional<QStringList> DecodeRecentFiles(const QByteArray& bytes,
                                             const QByteArray& locale_charset,
                                             TextEncoding* encoding);
// Every entry followed by CR LF, in `encoding`, after its byte-order mark. Nothing when the
// encoding cannot be used.
std::optional<QByteArray> EncodeRecentFiles(const QStringList& entries,
                                            const TextEncoding& encoding);

// Reads the file at `path`; false when it cannot be read or decoded.
bool ReadRecentFiles(const QString& path, const QByteArray& locale_charset, QStringList* entries,
                     TextEncoding* encoding);
// Creates the file anew with `entries`; false on any failure.
bool WriteRecentFiles(const QString& path, const QStringList& entries,
                      const TextEncoding& encoding);

// The recent-files comparison: equal after folding ASCII letters, nothing else.
bool SamePath(const QString& a, const QString& b);

}  // namespace ui
