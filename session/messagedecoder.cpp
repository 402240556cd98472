#include "session/messagedecoder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

// Every field has an explicit fallback: what GMime cannot give stays empty,
// and text in a missing, unknown or wrongly declared charset is read byte by
// byte as UTF-8 where valid and windows-1252 elsewhere, so no byte is lost.
//
// Choices:
// - The bodies are the first text/plain and the first text/html part, in
//   document order through any nesting of multiparts, that are not marked as
//   attachments. A forwarded message (message/rfc822) is an attachment of its
//   own: its text never becomes this message's body.
// - fromName and fromAddress are the first mailbox of the From list; a group
//   contributes its first member ("Team: a@x;" gives a@x); an empty group none.
// - iso-8859-1 and us-ascii texts are read as windows-1252 (after UTF-8), as
//   browsers do: mail so labelled often holds windows-1252 or UTF-8 bytes.
// - From, its name and address, and Subject are one line each: a control
//   character there, a line break included, reads as a space.
// - A sender with a name and an empty address ("MAILER DAEMON <>", as bounces
//   have it) keeps its name; its address stays empty.
// - A message GMime cannot parse at all keeps its bytes as the plain body so
//   that saving it loses nothing; every other field stays empty.

namespace {

struct GObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};

template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree
{
    void operator()(gpointer memory) const { g_free(memory); }
};

using GCharPtr = std::unique_ptr<char, GFree>;

// GMime is set up once, whichever thread decodes first.
GMimeParserOptions *parserOptions()
{
    static GMimeParserOptions *const options = [] {
        g_mime_init();
        GMimeParserOptions *created = g_mime_parser_options_new();
        // Raw 8-bit header bytes: UTF-8 first, then windows-1252.
        const char *fallbacks[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(created, fallbacks);
        return created;
    }();
    return options;
}

const char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QChar windows1252(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return QChar(windows1252High[byte - 0x80]);
    return QChar(byte);
}

// Length of the valid UTF-8 sequence at data[pos], 0 when there is none.
int utf8SequenceLength(const unsigned char *data, qsizetype size, qsizetype pos, char32_t &codePoint)
{
    const unsigned char lead = data[pos];
    int length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > size)
        return 0;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = data[pos + i];
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// UTF-8 where the bytes are valid UTF-8, windows-1252 for every other byte.
QString utf8OrWindows1252(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    QString text;
    text.reserve(size);
    for (qsizetype pos = 0; pos < size;) {
        // Runs of ASCII, most of any text, are taken whole.
        qsizetype ascii = pos;
        while (ascii < size && data[ascii] < 0x80)
            ++ascii;
        if (ascii > pos) {
            text.append(QLatin1StringView(bytes.constData() + pos, ascii - pos));
            pos = ascii;
            continue;
        }
        char32_t codePoint = 0;
        const int length = utf8SequenceLength(data, size, pos, codePoint);
        if (length == 0) {
            text.append(windows1252(data[pos]));
            ++pos;
            continue;
        }
        if (QChar::requiresSurrogates(codePoint)) {
            text.append(QChar::highSurrogate(codePoint));
            text.append(QChar::lowSurrogate(codePoint));
        } else {
            text.append(QChar(char16_t(codePoint)));
        }
        pos += length;
    }
    return text;
}

struct IconvCloser
{
    void operator()(iconv_t *cd) const
    {
        g_mime_iconv_close(*cd);
        delete cd;
    }
};

// Converts with iconv; a byte the charset does not allow is read as
// windows-1252 and conversion goes on after it. nullopt: iconv lacks the charset.
std::optional<QString> convertWithIconv(const QByteArray &bytes, const char *charset)
{
    iconv_t cd = g_mime_iconv_open("UTF-8", charset);
    if (cd == iconv_t(-1))
        return std::nullopt;
    std::unique_ptr<iconv_t, IconvCloser> closer(new iconv_t(cd));

    QString text;
    std::vector<char> buffer(std::max<qsizetype>(4096, bytes.size() * 4));
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    while (inLeft > 0) {
        char *out = buffer.data();
        size_t outLeft = buffer.size();
        const size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        text += QString::fromUtf8(buffer.data(), out - buffer.data());
        if (result != size_t(-1))
            break;
        if (error == E2BIG)
            continue;
        // EILSEQ or EINVAL (truncated at the end): keep the byte, reset, go on.
        text.append(windows1252(static_cast<unsigned char>(*in)));
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return text;
}

QString windows1252Text(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        text.append(windows1252(static_cast<unsigned char>(byte)));
    return text;
}

bool isOneOf(const QByteArray &name, std::initializer_list<const char *> names)
{
    for (const char *candidate : names) {
        if (name == candidate)
            return true;
    }
    return false;
}

QString decodeCharset(const QByteArray &bytes, const char *declared)
{
    const QByteArray name = QByteArray(declared ? g_mime_charset_canon_name(declared) : "").toLower();
    if (name.isEmpty() || isOneOf(name, {"utf-8", "utf8", "us-ascii", "ascii", "ansi_x3.4-1968"}))
        return utf8OrWindows1252(bytes);
    if (isOneOf(name, {"iso-8859-1", "iso8859-1", "latin1", "windows-cp1252", "windows-1252", "cp1252"}))
        return windows1252Text(bytes);
    if (std::optional<QString> converted = convertWithIconv(bytes, declared))
        return *converted;
    return utf8OrWindows1252(bytes);
}

// GMime's header texts are UTF-8 already; checked all the same.
QString fromGMimeText(const char *text)
{
    return text ? utf8OrWindows1252(QByteArray(text)) : QString();
}

// A decoded line break or other control character would break a row or
// forge a line in a saved file: a reader sees a space in its place.
QString readable(QString text)
{
    for (QChar &ch : text) {
        const char16_t code = ch.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
            ch = QLatin1Char(' ');
    }
    return text;
}

struct EncodedWord
{
    qsizetype end = 0; // just past its "?="
    QByteArray charset;
    QByteArray bytes;
};

int hexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    ch = char(ch | 0x20);
    return ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
}

// A 'Q' word's text: "_" is a space, "=XX" a byte; a stray "=" stays.
QByteArray quotedPrintableWordBytes(const QByteArray &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int high = text[i] == '=' && i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
        if (low >= 0) {
            bytes.append(char(high * 16 + low));
            i += 2;
        } else {
            bytes.append(text[i] == '_' ? ' ' : text[i]);
        }
    }
    return bytes;
}

bool hasBlank(QByteArrayView text)
{
    return text.contains(' ') || text.contains('\t');
}

// The RFC 2047 encoded-word "=?charset?B|Q?text?=" starting at pos, if any.
std::optional<EncodedWord> encodedWordAt(const QByteArray &value, qsizetype pos)
{
    if (!QByteArrayView(value).sliced(pos).startsWith("=?"))
        return std::nullopt;
    const qsizetype charsetEnd = value.indexOf('?', pos + 2);
    if (charsetEnd <= pos + 2 || charsetEnd + 3 >= value.size() || value[charsetEnd + 2] != '?'
        || hasBlank(QByteArrayView(value).sliced(pos, charsetEnd - pos)))
        return std::nullopt;
    const char encoding = char(value[charsetEnd + 1] | 0x20);
    const qsizetype textEnd = value.indexOf('?', charsetEnd + 3);
    if ((encoding != 'b' && encoding != 'q') || textEnd < 0 || textEnd + 1 >= value.size()
        || value[textEnd + 1] != '=')
        return std::nullopt;
    const QByteArray text = value.sliced(charsetEnd + 3, textEnd - charsetEnd - 3);
    if (hasBlank(text))
        return std::nullopt;
    EncodedWord word;
    word.end = textEnd + 2;
    // "charset*language" (RFC 2231) names the charset before the star.
    const QByteArrayView charset = QByteArrayView(value).sliced(pos + 2, charsetEnd - pos - 2);
    word.charset = charset.first(charset.contains('*') ? charset.indexOf('*') : charset.size()).toByteArray().toLower();
    word.bytes = encoding == 'b' ? QByteArray::fromBase64(text) : quotedPrintableWordBytes(text);
    return word;
}

qsizetype afterBlanks(const QByteArray &value, qsizetype pos)
{
    while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t'))
        ++pos;
    return pos;
}

// One UTF-8 encoded-word holding text, every byte that could mean something
// in a header (quote, comma, bracket) encoded.
QByteArray utf8EncodedWord(const QString &text)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = text.toUtf8();
    QByteArray word(bytes.size() * 3 + 12, Qt::Uninitialized);
    char *out = std::copy_n("=?UTF-8?Q?", 10, word.data());
    for (const char byte : bytes) {
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) {
            *out++ = byte;
        } else {
            *out++ = '=';
            *out++ = hex[uchar(byte) >> 4];
            *out++ = hex[uchar(byte) & 15];
        }
    }
    word.truncate(out - word.data());
    return word.append("?=");
}

// Decodes the run of adjacent encoded-words at pos into text, each word on
// its own but the bytes of neighbours in one charset joined before that
// charset is applied, so a character split between two words comes out
// whole. end is set past the run.
QString encodedWordRun(const QByteArray &value, qsizetype pos, qsizetype &end)
{
    QString text;
    QByteArray charset;
    QByteArray bytes;
    while (std::optional<EncodedWord> word = encodedWordAt(value, pos)) {
        if (word->charset != charset) {
            if (!bytes.isEmpty())
                text += decodeCharset(bytes, charset.constData());
            charset = word->charset;
            bytes.clear();
        }
        bytes += word->bytes;
        end = word->end;
        pos = afterBlanks(value, end); // blanks between words are no text
    }
    return text + decodeCharset(bytes, charset.constData());
}

// GMime 3.2 joins the base64 text of neighbouring words before decoding and
// stops at the first padding, losing the rest of most non-ASCII subjects and
// names; it also turns bytes its charset lacks into '?'. So every run of
// encoded-words is decoded here, under the rules the bodies follow, and
// handed back to GMime as one UTF-8 word that it reads right, in text and in
// address lists alike.
QByteArray withEncodedWordsDecoded(const QByteArray &value)
{
    qsizetype start = value.indexOf("=?");
    if (start < 0)
        return value;
    QByteArray result = value.first(start);
    qsizetype done = start;
    for (; start >= 0; start = value.indexOf("=?", done)) {
        qsizetype end = start;
        const QString text = encodedWordRun(value, start, end);
        if (end == start) {
            result += value.sliced(done, start + 2 - done);
            done = start + 2;
            continue;
        }
        result += value.sliced(done, start - done);
        if (!text.isEmpty())
            result += utf8EncodedWord(text);
        done = end;
    }
    return result + value.sliced(done);
}

// The header's value as it came, unfolded; empty when the header is missing.
QByteArray unfoldedValue(GMimeHeader *header)
{
    const char *raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    if (!raw)
        return QByteArray();
    GCharPtr unfolded(g_mime_utils_header_unfold(raw));
    return QByteArray(unfolded.get());
}

QByteArray streamBytes(GMimeStream *stream)
{
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    return QByteArray(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
}

// GMime drops a last base64 group that lacks its padding; Qt decodes it and
// skips stray characters, so a sloppily encoded body keeps all its text.
QByteArray decodedBase64(GMimeDataWrapper *content)
{
    GMimeStream *encoded = g_mime_data_wrapper_get_stream(content);
    GObjectPtr<GMimeStream> copy(g_mime_stream_mem_new());
    g_mime_stream_reset(encoded);
    const bool copied = g_mime_stream_write_to_stream(encoded, copy.get()) >= 0;
    g_mime_stream_reset(encoded);
    return copied ? QByteArray::fromBase64(streamBytes(copy.get())) : QByteArray();
}

// The part's content with its transfer encoding undone, in its own charset.
QByteArray decodedContent(GMimePart *part)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return QByteArray();
    if (g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64)
        return decodedBase64(content);
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, stream.get()) < 0)
        return QByteArray();
    return streamBytes(stream.get());
}

struct BodySearch
{
    GMimePart *plain = nullptr;
    GMimePart *html = nullptr;
};

void collectBody(GMimeObject *, GMimeObject *object, gpointer data)
{
    auto *search = static_cast<BodySearch *>(data);
    if (!GMIME_IS_PART(object))
        return; // multiparts are walked by GMime; message/rfc822 stays closed
    GMimePart *part = GMIME_PART(object);
    if (g_mime_part_is_attachment(part))
        return;
    GMimeContentType *type = g_mime_object_get_content_type(object);
    if (!search->plain && g_mime_content_type_is_type(type, "text", "plain"))
        search->plain = part;
    else if (!search->html && g_mime_content_type_is_type(type, "text", "html"))
        search->html = part;
}

QString bodyText(GMimePart *part)
{
    if (!part)
        return QString();
    return decodeCharset(decodedContent(part),
                         g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset"));
}

InternetAddressMailbox *firstMailbox(InternetAddressList *list)
{
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            return INTERNET_ADDRESS_MAILBOX(address);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            InternetAddressList *members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
            const int memberCount = members ? internet_address_list_length(members) : 0;
            for (int m = 0; m < memberCount; ++m) {
                InternetAddress *member = internet_address_list_get_address(members, m);
                if (INTERNET_ADDRESS_IS_MAILBOX(member))
                    return INTERNET_ADDRESS_MAILBOX(member);
            }
        }
    }
    return nullptr;
}

// GMime refuses a mailbox whose address is empty ("MAILER DAEMON <>", as
// bounces have it): its name is then read with a stand-in address.
GObjectPtr<InternetAddressList> parsedAddresses(const QByteArray &value)
{
    GObjectPtr<InternetAddressList> list(internet_address_list_parse(parserOptions(), value.constData()));
    const QByteArray trimmed = value.trimmed();
    const QByteArray name = trimmed.chopped(std::min<qsizetype>(2, trimmed.size()));
    if ((list && internet_address_list_length(list.get()) > 0) || !trimmed.endsWith("<>")
        || name.trimmed().isEmpty())
        return list;
    const QByteArray standIn = name + "<empty@invalid>";
    GObjectPtr<InternetAddressList> named(internet_address_list_parse(parserOptions(), standIn.constData()));
    InternetAddressMailbox *mailbox = firstMailbox(named.get());
    if (!mailbox || internet_address_list_length(named.get()) != 1)
        return list;
    internet_address_mailbox_set_addr(mailbox, "");
    return named;
}

GMimeHeader *firstHeader(GMimeMessage *message, const char *name)
{
    return g_mime_header_list_get_header(g_mime_object_get_header_list(GMIME_OBJECT(message)), name);
}

bool holdsEncodedWord(GMimeHeader *header)
{
    const char *raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    return raw && strstr(raw, "=?");
}

// Every From header's senders, in order, as GMime itself gathers them. GMime's
// own list stands unless it missed a name (an encoded-word) or a sender.
GObjectPtr<InternetAddressList> senders(GMimeMessage *message)
{
    InternetAddressList *own = g_mime_message_get_from(message);
    std::vector<GMimeHeader *> froms;
    GMimeHeaderList *headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
        GMimeHeader *header = g_mime_header_list_get_header_at(headers, i);
        if (g_ascii_strcasecmp(g_mime_header_get_name(header), "From") == 0)
            froms.push_back(header);
    }
    if (own && internet_address_list_length(own) > 0 && std::none_of(froms.begin(), froms.end(), holdsEncodedWord))
        return GObjectPtr<InternetAddressList>(INTERNET_ADDRESS_LIST(g_object_ref(own)));

    GObjectPtr<InternetAddressList> all(internet_address_list_new());
    for (GMimeHeader *header : froms) {
        if (GObjectPtr<InternetAddressList> parsed = parsedAddresses(withEncodedWordsDecoded(unfoldedValue(header))))
            internet_address_list_append(all.get(), parsed.get());
    }
    return all;
}

void readSender(GMimeMessage *message, ImapEmail &email)
{
    GObjectPtr<InternetAddressList> from = senders(message);
    GCharPtr text(internet_address_list_to_string(from.get(), nullptr, FALSE));
    email.from = readable(fromGMimeText(text.get()));
    if (InternetAddressMailbox *mailbox = firstMailbox(from.get())) {
        email.fromName = readable(fromGMimeText(internet_address_get_name(INTERNET_ADDRESS(mailbox))));
        email.fromAddress = readable(fromGMimeText(internet_address_mailbox_get_addr(mailbox)));
    }
}

// Without an encoded-word GMime's own reading is right.
QString readSubject(GMimeMessage *message)
{
    GMimeHeader *header = firstHeader(message, "Subject");
    if (!holdsEncodedWord(header))
        return readable(fromGMimeText(g_mime_message_get_subject(message)));
    const QByteArray value = withEncodedWordsDecoded(unfoldedValue(header));
    GCharPtr text(g_mime_utils_header_decode_text(parserOptions(), value.constData()));
    return readable(fromGMimeText(text.get()));
}

// Where a zone follows the time with no space between ("00:01+0000"),
// the place for that space; -1 when there is none.
qsizetype zoneAgainstTime(QByteArrayView date)
{
    for (qsizetype i = 3; i < date.size(); ++i) {
        if ((date[i] == '+' || date[i] == '-') && date[i - 3] == ':' && isdigit(uchar(date[i - 1])))
            return i;
    }
    return -1;
}

// GMime reads a zone right after the time as the end of the time, so
// "00:01+0000" would lose its minute: such a date is read again with a space
// before the zone. GMime's own reading stands for every other date.
QDateTime localTime(GDateTime *date)
{
    return date ? QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date), Qt::LocalTime) : QDateTime();
}

QDateTime localDate(GMimeMessage *message)
{
    GMimeHeader *header = firstHeader(message, "Date");
    if (!header || zoneAgainstTime(g_mime_header_get_raw_value(header)) < 0)
        return localTime(g_mime_message_get_date(message)); // owned by the message
    QByteArray value = unfoldedValue(header);
    GDateTime *date = g_mime_utils_header_decode_date(value.insert(zoneAgainstTime(value), ' ').constData());
    const QDateTime local = localTime(date);
    if (date)
        g_date_time_unref(date);
    return local;
}

} // namespace

ImapEmail decodeMessage(const QByteArray &raw)
{
    ImapEmail email;
    GMimeParserOptions *options = parserOptions();
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size())));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
    if (!message) {
        email.plainTextBody = utf8OrWindows1252(raw);
        return email;
    }
    readSender(message.get(), email);
    email.subject = readSubject(message.get());
    email.date = localDate(message.get());

    BodySearch search;
    g_mime_message_foreach(message.get(), collectBody, &search);
    email.plainTextBody = bodyText(search.plain);
    email.htmlTextBody = bodyText(search.html);
    return email;
}
