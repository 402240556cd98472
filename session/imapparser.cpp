#include "session/imapparser.h"

#include <limits>

namespace {

bool isAtomChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f)
        return false;
    switch (c) {
    case '(': case ')': case '{': case '"':
        return false;
    default:
        return true;
    }
}

[[noreturn]] void fail(const char *what, const QByteArray &line, int pos)
{
    throw ImapParseError(QString::fromLatin1(what), line, pos);
}

ImapResponse::Status statusFromWord(const QByteArray &word)
{
    const QByteArray upper = word.toUpper();
    if (upper == "OK") return ImapResponse::Status::Ok;
    if (upper == "NO") return ImapResponse::Status::No;
    if (upper == "BAD") return ImapResponse::Status::Bad;
    if (upper == "BYE") return ImapResponse::Status::Bye;
    if (upper == "PREAUTH") return ImapResponse::Status::Preauth;
    return ImapResponse::Status::None;
}

// "[CODE args] text" after a status word; both parts are optional.
void readStatusTail(const QByteArray &line, int &pos, ImapResponse &response)
{
    if (ImapParser::atEnd(line, pos))
        return;
    ImapParser::expectSpace(line, pos);
    if (pos < line.size() && line.at(pos) == '[') {
        const int close = line.indexOf(']', pos);
        if (close < 0)
            fail("unterminated response code", line, pos);
        const QByteArray inside = line.mid(pos + 1, close - pos - 1);
        const int space = inside.indexOf(' ');
        response.code = (space < 0 ? inside : inside.left(space)).toUpper();
        response.codeArguments = space < 0 ? QByteArray() : inside.mid(space + 1);
        if (response.code.isEmpty())
            fail("empty response code", line, pos);
        pos = close + 1;
        if (pos < line.size() && line.at(pos) == ' ')
            ++pos;
    }
    response.text = line.mid(pos);
    pos = line.size();
}

bool hasValueData(const QByteArray &name)
{
    return name == "LIST" || name == "LSUB" || name == "FETCH" || name == "ID" || name == "FLAGS"
        || name == "STATUS";
}

void readUntaggedData(const QByteArray &line, int &pos, ImapResponse &response)
{
    if (pos < line.size() && line.at(pos) >= '0' && line.at(pos) <= '9') {
        response.number = ImapParser::readNumber(line, pos);
        ImapParser::expectSpace(line, pos);
    }
    response.name = ImapParser::readAtom(line, pos).toUpper();
    response.status = statusFromWord(response.name);
    if (response.status != ImapResponse::Status::None && response.number < 0) {
        response.name.clear();
        readStatusTail(line, pos, response);
        return;
    }
    response.status = ImapResponse::Status::None;
    if (hasValueData(response.name)) {
        while (!ImapParser::atEnd(line, pos)) {
            ImapParser::expectSpace(line, pos);
            response.values.append(ImapParser::readValue(line, pos));
        }
    } else {
        // Data we have no use for (CAPABILITY, SEARCH, ...) is kept as text.
        if (pos < line.size() && line.at(pos) == ' ')
            ++pos;
        response.text = line.mid(pos);
        pos = line.size();
    }
}

} // namespace

ImapParseError::ImapParseError(const QString &what, const QByteArray &line, int offset)
    : std::runtime_error(QStringLiteral("%1 at offset %2").arg(what).arg(offset).toStdString()),
      m_line(line), m_offset(offset)
{
}

namespace ImapParser {

bool atEnd(const QByteArray &line, int pos)
{
    return pos >= line.size();
}

void expectSpace(const QByteArray &line, int &pos)
{
    if (pos >= line.size() || line.at(pos) != ' ')
        fail("expected a space", line, pos);
    ++pos;
}

QByteArray readAtom(const QByteArray &line, int &pos)
{
    const int start = pos;
    while (pos < line.size()) {
        const char c = line.at(pos);
        if (c == '[') {
            // A section such as BODY[HEADER.FIELDS (FROM)] may hold spaces and parentheses.
            const int close = line.indexOf(']', pos);
            if (close < 0)
                fail("unterminated bracket in atom", line, pos);
            pos = close + 1;
            continue;
        }
        if (!isAtomChar(c))
            break;
        ++pos;
    }
    if (pos == start)
        fail("expected an atom", line, pos);
    return line.mid(start, pos - start);
}

QByteArray readQuoted(const QByteArray &line, int &pos)
{
    if (pos >= line.size() || line.at(pos) != '"')
        fail("expected a quoted string", line, pos);
    const int start = pos;
    QByteArray out;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line.at(pos);
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\r' || c == '\n')
            break;
        if (c == '\\') {
            if (++pos >= line.size())
                break;
            const char escaped = line.at(pos);
            if (escaped != '"' && escaped != '\\')
                fail("invalid escape in quoted string", line, pos);
            out.append(escaped);
            continue;
        }
        out.append(c);
    }
    fail("unterminated quoted string", line, start);
}

QByteArray readLiteral(const QByteArray &line, int &pos)
{
    const int start = pos;
    if (pos >= line.size() || line.at(pos) != '{')
        fail("expected a literal", line, pos);
    ++pos;
    const qint64 size = readNumber(line, pos);
    if (pos < line.size() && line.at(pos) == '+')
        ++pos;
    if (pos >= line.size() || line.at(pos) != '}')
        fail("malformed literal size", line, start);
    ++pos;
    if (line.mid(pos, 2) != "\r\n")
        fail("literal size not followed by CRLF", line, pos);
    pos += 2;
    if (size > line.size() - pos)
        fail("literal runs past the end of the response", line, start);
    const QByteArray data = line.mid(pos, static_cast<int>(size));
    pos += static_cast<int>(size);
    return data;
}

QByteArray readAString(const QByteArray &line, int &pos)
{
    if (pos < line.size() && line.at(pos) == '"')
        return readQuoted(line, pos);
    if (pos < line.size() && line.at(pos) == '{')
        return readLiteral(line, pos);
    return readAtom(line, pos);
}

qint64 readNumber(const QByteArray &line, int &pos)
{
    const int start = pos;
    qint64 value = 0;
    while (pos < line.size() && line.at(pos) >= '0' && line.at(pos) <= '9') {
        const int digit = line.at(pos) - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            fail("number too large", line, start);
        value = value * 10 + digit;
        ++pos;
    }
    if (pos == start)
        fail("expected a number", line, pos);
    return value;
}

ImapValue readValue(const QByteArray &line, int &pos, int depth)
{
    ImapValue value;
    if (pos >= line.size())
        fail("expected a value", line, pos);
    const char c = line.at(pos);
    if (c == '(') {
        value.kind = ImapValue::Kind::List;
        value.items = readValueList(line, pos, depth + 1);
    } else if (c == '"') {
        value.kind = ImapValue::Kind::String;
        value.text = readQuoted(line, pos);
    } else if (c == '{') {
        value.kind = ImapValue::Kind::String;
        value.text = readLiteral(line, pos);
    } else {
        value.text = readAtom(line, pos);
        value.kind = value.text.toUpper() == "NIL" ? ImapValue::Kind::Nil : ImapValue::Kind::Atom;
        if (value.kind == ImapValue::Kind::Nil)
            value.text.clear();
    }
    return value;
}

QList<ImapValue> readValueList(const QByteArray &line, int &pos, int depth)
{
    if (depth > MaxNestingDepth)
        fail("lists nested too deeply", line, pos);
    if (pos >= line.size() || line.at(pos) != '(')
        fail("expected a list", line, pos);
    ++pos;
    QList<ImapValue> items;
    while (true) {
        if (pos >= line.size())
            fail("unterminated list", line, pos);
        if (line.at(pos) == ')') {
            ++pos;
            return items;
        }
        if (!items.isEmpty())
            expectSpace(line, pos);
        items.append(readValue(line, pos, depth));
    }
}

ImapResponse parseResponse(const QByteArray &line)
{
    ImapResponse response;
    int pos = 0;
    if (line.startsWith('+')) {
        response.kind = ImapResponse::Kind::Continuation;
        response.text = line.mid(line.size() > 1 && line.at(1) == ' ' ? 2 : 1);
        return response;
    }
    if (line.startsWith("* ")) {
        response.kind = ImapResponse::Kind::Untagged;
        pos = 2;
        readUntaggedData(line, pos, response);
        return response;
    }
    response.kind = ImapResponse::Kind::Tagged;
    response.tag = readAtom(line, pos);
    if (response.tag.contains('+') || response.tag.contains('['))
        fail("invalid tag", line, 0);
    expectSpace(line, pos);
    const int wordAt = pos;
    response.status = statusFromWord(readAtom(line, pos));
    if (response.status != ImapResponse::Status::Ok && response.status != ImapResponse::Status::No
        && response.status != ImapResponse::Status::Bad)
        fail("tagged response without OK, NO or BAD", line, wordAt);
    readStatusTail(line, pos, response);
    return response;
}

} // namespace ImapParser

QString imapStatusName(ImapResponse::Status status)
{
    switch (status) {
    case ImapResponse::Status::Ok: return QStringLiteral("OK");
    case ImapResponse::Status::No: return QStringLiteral("NO");
    case ImapResponse::Status::Bad: return QStringLiteral("BAD");
    case ImapResponse::Status::Bye: return QStringLiteral("BYE");
    case ImapResponse::Status::Preauth: return QStringLiteral("PREAUTH");
    case ImapResponse::Status::None: break;
    }
    return QString();
}
