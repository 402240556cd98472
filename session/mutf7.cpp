#include "session/mutf7.h"

#include <optional>

namespace {

bool isDirect(ushort c)
{
    return c >= 0x20 && c <= 0x7e;
}

QByteArray encodeRun(const QString &run)
{
    QByteArray utf16;
    utf16.reserve(run.size() * 2);
    for (const QChar c : run) {
        utf16.append(static_cast<char>(c.unicode() >> 8));
        utf16.append(static_cast<char>(c.unicode() & 0xff));
    }
    QByteArray b64 = utf16.toBase64(QByteArray::OmitTrailingEquals);
    b64.replace('/', ',');
    return '&' + b64 + '-';
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == ',') return 63;
    return -1;
}

// The UTF-16 text of one shifted run (between "&" and "-"), or nothing when invalid.
std::optional<QString> decodeRun(const QByteArray &b64)
{
    QString out;
    quint32 bits = 0;
    int bitCount = 0;
    for (const char c : b64) {
        const int v = base64Value(c);
        if (v < 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<quint32>(v);
        bitCount += 6;
        if (bitCount >= 16) {
            bitCount -= 16;
            out.append(QChar(static_cast<ushort>((bits >> bitCount) & 0xffff)));
        }
    }
    // Leftover bits must be padding: fewer than 6 of them, all zero.
    if (bitCount >= 6 || (bits & ((1u << bitCount) - 1)) != 0)
        return std::nullopt;
    for (int i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (isDirect(c.unicode()))
            return std::nullopt; // must have been sent as itself
        if (c.isHighSurrogate()) {
            if (i + 1 >= out.size() || !out.at(i + 1).isLowSurrogate())
                return std::nullopt;
            ++i;
        } else if (c.isLowSurrogate()) {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<QString> decodeStrict(const QByteArray &encoded)
{
    QString out;
    for (int i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        if (!isDirect(static_cast<unsigned char>(c)))
            return std::nullopt;
        if (c != '&') {
            out.append(QLatin1Char(c));
            continue;
        }
        const int end = encoded.indexOf('-', i + 1);
        if (end < 0)
            return std::nullopt;
        if (end == i + 1) {
            out.append(QLatin1Char('&'));
        } else {
            const auto run = decodeRun(encoded.mid(i + 1, end - i - 1));
            if (!run)
                return std::nullopt;
            out.append(*run);
        }
        i = end;
    }
    return out;
}

} // namespace

QByteArray encodeMailboxName(const QString &name)
{
    QByteArray out;
    QString run;
    for (const QChar c : name) {
        if (isDirect(c.unicode())) {
            if (!run.isEmpty()) {
                out.append(encodeRun(run));
                run.clear();
            }
            out.append(c == QLatin1Char('&') ? QByteArray("&-") : QByteArray(1, static_cast<char>(c.unicode())));
        } else {
            run.append(c);
        }
    }
    if (!run.isEmpty())
        out.append(encodeRun(run));
    return out;
}

QString decodeMailboxName(const QByteArray &encoded, bool *ok)
{
    const auto decoded = decodeStrict(encoded);
    if (ok)
        *ok = decoded.has_value();
    return decoded ? *decoded : QString::fromUtf8(encoded);
}
