#pragma once

#include <stdexcept>

#include <QByteArray>
#include <QList>
#include <QString>

// A response that does not follow the protocol. Carries the offending
// response and where in it reading stopped, so a log can show both.
class ImapParseError : public std::runtime_error
{
public:
    ImapParseError(const QString &what, const QByteArray &line, int offset);
    QByteArray line() const { return m_line; }
    int offset() const { return m_offset; }

private:
    QByteArray m_line;
    int m_offset;
};

// One value of a response: an atom, a string (quoted or literal), NIL, or a
// parenthesised list of values.
struct ImapValue
{
    enum class Kind { Atom, String, Nil, List };
    Kind kind = Kind::Nil;
    QByteArray text;
    QList<ImapValue> items;

    bool isList() const { return kind == Kind::List; }
    bool isText() const { return kind == Kind::Atom || kind == Kind::String; }
};

// One complete server response as the framer delivers it (literals inline,
// each "{N}" followed by CRLF and exactly N bytes; no final CRLF).
struct ImapResponse
{
    enum class Kind { Tagged, Untagged, Continuation };
    enum class Status { None, Ok, No, Bad, Bye, Preauth };

    Kind kind = Kind::Untagged;
    QByteArray tag;                // tagged responses only
    Status status = Status::None;  // status responses only
    QByteArray code;               // response code name, e.g. "READ-ONLY"
    QByteArray codeArguments;      // the rest of the bracket, e.g. the capabilities
    QByteArray text;               // human-readable text
    qint64 number = -1;            // "* 3 EXISTS", "* 3 FETCH"
    QByteArray name;               // untagged data name, upper case: "EXISTS", "LIST"
    QList<ImapValue> values;       // data after the name for LIST, FETCH, ID, ...
};

// Bounds on what a server may make the parser build.
constexpr int MaxNestingDepth = 32;

namespace ImapParser {

// Each reader starts at `pos`, leaves `pos` just after what it read and
// throws ImapParseError when the data is not what it expects.
void expectSpace(const QByteArray &line, int &pos);
bool atEnd(const QByteArray &line, int pos);
QByteArray readAtom(const QByteArray &line, int &pos);
QByteArray readQuoted(const QByteArray &line, int &pos);
QByteArray readLiteral(const QByteArray &line, int &pos);
// Atom, quoted string or literal (IMAP astring), as mailbox names are sent.
QByteArray readAString(const QByteArray &line, int &pos);
qint64 readNumber(const QByteArray &line, int &pos);
ImapValue readValue(const QByteArray &line, int &pos, int depth = 0);
QList<ImapValue> readValueList(const QByteArray &line, int &pos, int depth = 0);

ImapResponse parseResponse(const QByteArray &line);

} // namespace ImapParser

QString imapStatusName(ImapResponse::Status status);
