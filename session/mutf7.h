#pragma once

#include <QByteArray>
#include <QString>

// Mailbox names travel in modified UTF-7 (RFC 3501 section 5.1.3).
QByteArray encodeMailboxName(const QString &name);
// A name that is not valid modified UTF-7 (stray "&", bad base64, 8-bit
// bytes, unpaired surrogates, ...) sets *ok to false and comes back as its
// raw bytes read as UTF-8, so it is shown rather than silently mangled.
QString decodeMailboxName(const QByteArray &encoded, bool *ok = nullptr);
