#include "session/messagedecoder.h"

#include <algorithm>
#include <cerrno>
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

void readSender(GMimeMessage *message, ImapEmail &email)
{
    InternetAddressList *from = g_mime_message_get_from(message);
    if (!from)
        return;
    GCharPtr text(internet_address_list_to_string(from, nullptr, FALSE));
    email.from = fromGMimeText(text.get());
    if (InternetAddressMailbox *mailbox = firstMailbox(from)) {
        email.fromName = fromGMimeText(internet_address_get_name(INTERNET_ADDRESS(mailbox)));
        email.fromAddress = fromGMimeText(internet_address_mailbox_get_addr(mailbox));
    }
}

QDateTime localDate(GMimeMessage *message)
{
    GDateTime *date = g_mime_message_get_date(message); // owned by the message
    if (!date)
        return QDateTime();
    return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date), Qt::LocalTime);
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
    email.subject = fromGMimeText(g_mime_message_get_subject(message.get()));
    email.date = localDate(message.get());

    BodySearch search;
    g_mime_message_foreach(message.get(), collectBody, &search);
    email.plainTextBody = bodyText(search.plain);
    email.htmlTextBody = bodyText(search.html);
    return email;
}
