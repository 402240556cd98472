#!/usr/bin/env python3
"""Seeds the test server's maildirs with a generated corpus and writes what each
message must decode to (JSON) for the tests.

Messages are written into tmp/ and renamed into cur/ with their exact size and
flags, so seeding thousands takes well under a second. File names start with a
time that grows with the message's place in the corpus, so Dovecot's UIDs (and
therefore message positions) follow the corpus order in every folder.

Expected file (JSON):
  timeZone        the zone the local-midnight message is midnight in ("UTC");
                  tests that look at local dates set TZ to it first
  folders         {mailbox name (UTF-8): [message id, ...] in position order}
  specialUse      {mailbox name: special-use flag}
  messages        [{id, file: {folder: path}, positions: {folder: 1-based},
                    seen, size, from, fromName, fromAddress, subject,
                    date (ISO 8601 with offset, or null), plain, html}]
  other           the second account's messages, same shape
  googleMail      the third account's (system folders under "[Google Mail]/",
                  as older UK and German Gmail accounts have them), same shape
"""

import argparse
import base64
import json
import os
import quopri
import random
import sys

CRLF = "\r\n"
BASE_TIME = 1600000000  # file-name time of the first message

GMAIL_FOLDERS = {
    "[Gmail]/All Mail": "\\All",
    "[Gmail]/Drafts": "\\Drafts",
    "[Gmail]/Sent Mail": "\\Sent",
    "[Gmail]/Spam": "\\Junk",
    "[Gmail]/Starred": "\\Flagged",
    "[Gmail]/Trash": "\\Trash",
    "[Gmail]/Important": "\\Important",
}
ALL = "[Gmail]/All Mail"
# Older UK and German accounts: "[Google Mail]" instead of "[Gmail]", and "Bin".
GOOGLE_MAIL_FOLDERS = {
    "[Google Mail]/All Mail": "\\All",
    "[Google Mail]/Drafts": "\\Drafts",
    "[Google Mail]/Sent Mail": "\\Sent",
    "[Google Mail]/Spam": "\\Junk",
    "[Google Mail]/Starred": "\\Flagged",
    "[Google Mail]/Bin": "\\Trash",
    "[Google Mail]/Important": "\\Important",
}
LABELS = ["Work", "Work/Projects", "Reçus", "Travel Plans"]


# ---------------------------------------------------------------- encodings

def mutf7_segment(text):
    data = base64.b64encode(text.encode("utf-16-be")).decode("ascii")
    return "&" + data.rstrip("=").replace("/", ",") + "-"


def modified_utf7(name):
    """IMAP's mailbox-name encoding; Dovecot expects it on disk."""
    out, pending = [], ""
    for ch in name:
        if 0x20 <= ord(ch) <= 0x7E:
            if pending:
                out.append(mutf7_segment(pending))
                pending = ""
            out.append("&-" if ch == "&" else ch)
        else:
            pending += ch
    if pending:
        out.append(mutf7_segment(pending))
    return "".join(out)


def bword(charset, data):
    return "=?%s?B?%s?=" % (charset, base64.b64encode(data).decode("ascii"))


def qword(charset, data):
    out = []
    for byte in data:
        ch = chr(byte)
        if ch == " ":
            out.append("_")
        elif ch.isalnum() and byte < 128:
            out.append(ch)
        else:
            out.append("=%02X" % byte)
    return "=?%s?Q?%s?=" % (charset, "".join(out))


def b64lines(data):
    text = base64.b64encode(data).decode("ascii")
    return CRLF.join(text[i:i + 76] for i in range(0, len(text), 76)) + CRLF


def qp(data):
    lines = data.replace(b"\r\n", b"\n")
    return quopri.encodestring(lines).decode("ascii").replace("\n", CRLF)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", CRLF)


# ---------------------------------------------------------------- building

class Message:
    def __init__(self, mid, raw, folders, expect, seen=True, flags=""):
        self.id = mid
        self.raw = raw if isinstance(raw, bytes) else raw.encode("utf-8")
        self.folders = folders
        self.expect = expect
        self.seen = seen
        self.flags = flags


def headers(fields):
    """fields: list of (name, value-as-str-or-bytes); None values are left out."""
    out = b""
    for name, value in fields:
        if value is None:
            continue
        if isinstance(value, str):
            value = value.encode("utf-8")
        out += name.encode("ascii") + b": " + value + b"\r\n"
    return out


def single(mid, frm, subject, date, body, ctype="text/plain; charset=utf-8",
           cte=None, extra=()):
    fields = [("From", frm), ("To", "test@example.com"), ("Subject", subject),
              ("Date", date), ("Message-ID", "<%s@corpus.example>" % mid),
              ("MIME-Version", "1.0"), ("Content-Type", ctype),
              ("Content-Transfer-Encoding", cte)] + list(extra)
    if isinstance(body, str):
        body = body.encode("utf-8")
    return headers(fields) + b"\r\n" + body


def multipart(mid, frm, subject, date, ctype, parts, boundary=None):
    boundary = boundary or ("b-" + mid)
    fields = [("From", frm), ("To", "test@example.com"), ("Subject", subject),
              ("Date", date), ("Message-ID", "<%s@corpus.example>" % mid),
              ("MIME-Version", "1.0"),
              ("Content-Type", '%s; boundary="%s"' % (ctype, boundary))]
    return headers(fields) + b"\r\n" + join_parts(parts, boundary)


def join_parts(parts, boundary):
    out = b"This is a multi-part message in MIME format.\r\n"
    for part in parts:
        out += b"--" + boundary.encode() + b"\r\n" + part + b"\r\n"
    return out + b"--" + boundary.encode() + b"--\r\n"


def part(ctype, body, cte=None, disposition=None):
    fields = [("Content-Type", ctype), ("Content-Transfer-Encoding", cte),
              ("Content-Disposition", disposition)]
    if isinstance(body, str):
        body = body.encode("utf-8")
    return headers(fields) + b"\r\n" + body


def nested(ctype, parts, boundary):
    return (headers([("Content-Type", '%s; boundary="%s"' % (ctype, boundary))])
            + b"\r\n" + join_parts(parts, boundary))


def expect(frm, name, addr, subject, date, plain="", html=""):
    return {"from": frm, "fromName": name, "fromAddress": addr,
            "subject": subject, "date": date, "plain": plain, "html": html}


ALICE = "Alice Example <alice@example.com>"
ALICE_X = ("Alice Example <alice@example.com>", "Alice Example", "alice@example.com")


def test_corpus():
    msgs = []

    def add(mid, raw, folders, exp, **kw):
        msgs.append(Message(mid, raw, folders, exp, **kw))

    body = crlf("Hello Bob,\nthis is a plain message.\n")
    add("plain-ascii", single("plain-ascii", ALICE, "Plain hello",
                              "Tue, 02 Mar 2021 09:15:00 +0100", body,
                              ctype="text/plain; charset=us-ascii"),
        ["INBOX", "[Gmail]/Important"],
        expect(*ALICE_X, "Plain hello", "2021-03-02T09:15:00+01:00", plain=body))

    text = crlf("Grüße aus München – ça va? 日本\n")
    add("utf8-8bit", single("utf8-8bit", "=?UTF-8?B?%s?= <mueller@example.de>"
                            % base64.b64encode("Jürgen Müller".encode()).decode(),
                            bword("UTF-8", "Grüße aus München".encode()),
                            "Wed, 03 Mar 2021 14:00:00 +0000", text, cte="8bit"),
        ["INBOX", "Work"],
        expect("Jürgen Müller <mueller@example.de>", "Jürgen Müller", "mueller@example.de",
               "Grüße aus München", "2021-03-03T14:00:00+00:00", plain=text),
        seen=False)

    text = crlf("Un café crème, s'il vous plaît.\nÀ bientôt.\n")
    add("latin1-qp", single("latin1-qp", qword("ISO-8859-1", "José García".encode("latin-1"))
                            + " <jose@example.es>",
                            qword("iso-8859-1", "Café crème".encode("latin-1")),
                            "Thu, 04 Mar 2021 08:30:00 -0500", qp(text.encode("latin-1")),
                            ctype="text/plain; charset=iso-8859-1", cte="quoted-printable"),
        ["INBOX"],
        expect("José García <jose@example.es>", "José García", "jose@example.es",
               "Café crème", "2021-03-04T08:30:00-05:00", plain=text))

    text = crlf("Prix : 20 € (vingt euros), Œuvre, œuf.\n")
    add("latin9-base64", single("latin9-base64", "Shop <shop@example.fr>",
                                bword("ISO-8859-15", "Facture 20 €".encode("iso8859_15")),
                                "Fri, 05 Mar 2021 10:00:00 +0100",
                                b64lines(text.encode("iso8859_15")),
                                ctype="text/plain; charset=ISO-8859-15", cte="base64"),
        ["INBOX", "Reçus"],
        expect("Shop <shop@example.fr>", "Shop", "shop@example.fr", "Facture 20 €",
               "2021-03-05T10:00:00+01:00", plain=text))

    text = crlf("“Smart quotes” cost 5 € — that’s all…\n")
    add("cp1252-8bit", single("cp1252-8bit", "Windows User <win@example.com>",
                              qword("windows-1252", "“Quoted” – price €".encode("cp1252")),
                              "Sat, 06 Mar 2021 11:11:11 +0000", text.encode("cp1252"),
                              ctype="text/plain; charset=windows-1252", cte="8bit"),
        ["INBOX"],
        expect("Windows User <win@example.com>", "Windows User", "win@example.com",
               "“Quoted” – price €", "2021-03-06T11:11:11+00:00", plain=text),
        seen=False)

    text = crlf("こんにちは、世界。\n日本語のメールです。\n")
    add("shift-jis", single("shift-jis", bword("Shift_JIS", "山田太郎".encode("shift_jis"))
                            + " <yamada@example.jp>",
                            bword("Shift_JIS", "日本語の件名".encode("shift_jis")),
                            "Sun, 07 Mar 2021 12:00:00 +0900",
                            b64lines(text.encode("shift_jis")),
                            ctype="text/plain; charset=Shift_JIS", cte="base64"),
        ["INBOX", "Work/Projects"],
        expect("山田太郎 <yamada@example.jp>", "山田太郎", "yamada@example.jp",
               "日本語の件名", "2021-03-07T12:00:00+09:00", plain=text))

    # One multibyte character's bytes split over two encoded words.
    subject = "Ünïcödé spłit – 日本語"
    data = subject.encode("utf-8")
    cut = data.index("本".encode()) + 1
    split_subject = bword("UTF-8", data[:cut]) + CRLF + " " + bword("UTF-8", data[cut:])
    name = "Zoë Ångström"
    ndata = name.encode("utf-8")
    ncut = 3  # inside the ë
    split_name = qword("UTF-8", ndata[:ncut]) + " " + qword("UTF-8", ndata[ncut:])
    body = crlf("Split encoded words.\n")
    add("rfc2047-split", single("rfc2047-split", split_name + " <zoe@example.se>", split_subject,
                                "Mon, 08 Mar 2021 13:00:00 +0100", body),
        ["INBOX", ALL],
        expect("Zoë Ångström <zoe@example.se>", "Zoë Ångström", "zoe@example.se", subject,
               "2021-03-08T13:00:00+01:00", plain=body))

    plain = crlf("Plain alternative.\n")
    html = crlf("<html><body><p>HTML <b>alternative</b> – ok</p></body></html>\n")
    add("alternative", multipart("alternative", ALICE, "Both kinds",
                                 "Tue, 09 Mar 2021 09:00:00 +0000", "multipart/alternative",
                                 [part("text/plain; charset=utf-8", plain),
                                  part("text/html; charset=utf-8", qp(html.encode()),
                                       cte="quoted-printable")]),
        ["INBOX", "[Gmail]/Starred", "Work"],
        expect(*ALICE_X, "Both kinds", "2021-03-09T09:00:00+00:00", plain=plain, html=html),
        flags="F")

    html = crlf("<html><body><h1>Newsletter</h1><p>Only HTML here.</p></body></html>\n")
    add("html-only", single("html-only", "News <news@example.org>", "Newsletter",
                            "Wed, 10 Mar 2021 07:00:00 +0000", b64lines(html.encode()),
                            ctype="text/html; charset=utf-8", cte="base64"),
        ["[Gmail]/Spam"],
        expect("News <news@example.org>", "News", "news@example.org", "Newsletter",
               "2021-03-10T07:00:00+00:00", html=html), seen=False)

    # The attachment comes first and is text/plain: it must not become the body.
    notes = crlf("ATTACHMENT TEXT - not the body\n")
    body = crlf("The real body.\n")
    add("attachment-first", multipart("attachment-first", ALICE, "Notes attached",
                                      "Thu, 11 Mar 2021 15:30:00 +0000", "multipart/mixed",
                                      [part('text/plain; charset=utf-8; name="notes.txt"', notes,
                                            disposition='attachment; filename="notes.txt"'),
                                       part("text/plain; charset=utf-8", body)]),
        ["INBOX", "Work/Projects"],
        expect(*ALICE_X, "Notes attached", "2021-03-11T15:30:00+00:00", plain=body))

    html = crlf("<p>Report attached.</p>\n")
    add("html-with-text-attachment",
        multipart("html-with-text-attachment", "Reports <reports@example.com>", "Weekly report",
                  "Fri, 12 Mar 2021 16:00:00 +0000", "multipart/mixed",
                  [part("text/html; charset=utf-8", html),
                   part("text/plain; charset=utf-8", b64lines(notes.encode()), cte="base64",
                        disposition='attachment; filename="report.txt"'),
                   part("application/pdf", b64lines(b"%PDF-1.4 fake"), cte="base64",
                        disposition='attachment; filename="report.pdf"')]),
        ["Work/Projects"],
        expect("Reports <reports@example.com>", "Reports", "reports@example.com",
               "Weekly report", "2021-03-12T16:00:00+00:00", html=html))

    plain = crlf("Mixed, alternative inside.\n")
    html = crlf("<p>Mixed, <i>alternative</i> inside.</p>\n")
    add("nested-multipart",
        multipart("nested-multipart", ALICE, "Nested parts", "Sat, 13 Mar 2021 10:20:30 +0000",
                  "multipart/mixed",
                  [nested("multipart/related",
                          [nested("multipart/alternative",
                                  [part("text/plain; charset=iso-8859-1",
                                        qp(plain.encode("latin-1")), cte="quoted-printable"),
                                   part("text/html; charset=utf-8", html)], "inner-alt"),
                           part("image/png", b64lines(b"\x89PNG fake"), cte="base64",
                                disposition='inline; filename="logo.png"')], "inner-rel"),
                   part("text/plain; charset=utf-8", notes,
                        disposition='attachment; filename="notes.txt"')]),
        ["INBOX", "Travel Plans"],
        expect(*ALICE_X, "Nested parts", "2021-03-13T10:20:30+00:00", plain=plain, html=html))

    inner = single("inner", "Carol <carol@example.net>", "Inner subject",
                   "Mon, 01 Feb 2021 08:00:00 +0000",
                   crlf("INNER BODY - belongs to the forwarded message\n"))
    body = crlf("See the forwarded message.\n")
    add("forwarded", multipart("forwarded", "Bob <bob@example.com>", "Fwd: Inner subject",
                               "Sun, 14 Mar 2021 18:00:00 +0000", "multipart/mixed",
                               [part("text/plain; charset=utf-8", body),
                                part("message/rfc822", inner, disposition="inline")]),
        ["INBOX"],
        expect("Bob <bob@example.com>", "Bob", "bob@example.com", "Fwd: Inner subject",
               "2021-03-14T18:00:00+00:00", plain=body))

    # Only a forwarded message: its text belongs to the attachment, not to this message.
    add("forwarded-only", multipart("forwarded-only", "Bob <bob@example.com>", "Fwd: bare",
                                    "Mon, 15 Mar 2021 18:00:00 +0000", "multipart/mixed",
                                    [part("message/rfc822", inner,
                                          disposition='attachment; filename="inner.eml"')]),
        [],
        expect("Bob <bob@example.com>", "Bob", "bob@example.com", "Fwd: bare",
               "2021-03-15T18:00:00+00:00"))

    body = crlf("Nobody sent this.\n")
    add("no-from", headers([("To", "test@example.com"), ("Subject", "No sender"),
                            ("Date", "Tue, 16 Mar 2021 12:00:00 +0000"),
                            ("Message-ID", "<no-from@corpus.example>")]) + b"\r\n" + body.encode(),
        ["[Gmail]/Spam"],
        expect("", "", "", "No sender", "2021-03-16T12:00:00+00:00", plain=body))

    body = crlf("Group sender.\n")
    add("group-from", single("group-from", "Team: Dave <dave@example.com>, erin@example.com;",
                             "Group sender", "Wed, 17 Mar 2021 12:00:00 +0000", body),
        ["Work"],
        expect("Team: Dave <dave@example.com>, erin@example.com;", "Dave", "dave@example.com",
               "Group sender", "2021-03-17T12:00:00+00:00", plain=body))

    add("empty-group-from", single("empty-group-from", "undisclosed-recipients:;",
                                   "Empty group", "Thu, 18 Mar 2021 12:00:00 +0000", body),
        [],
        expect("undisclosed-recipients: ;", "", "", "Empty group",
               "2021-03-18T12:00:00+00:00", plain=body))

    add("two-senders", single("two-senders", "frank@example.com, Grace <grace@example.com>",
                              "Two senders", "Fri, 19 Mar 2021 12:00:00 +0000", body),
        [],
        expect("frank@example.com, Grace <grace@example.com>", "", "frank@example.com",
               "Two senders", "2021-03-19T12:00:00+00:00", plain=body))

    body = crlf("Draft without a date.\n")
    add("no-date", single("no-date", ALICE, "Undated draft", None, body),
        ["[Gmail]/Drafts"],
        expect(*ALICE_X, "Undated draft", None, plain=body))

    add("broken-date", single("broken-date", ALICE, "Broken date", "yesterday at noon", body),
        ["[Gmail]/Drafts"],
        expect(*ALICE_X, "Broken date", None, plain=body))

    body = crlf("Sent at midnight.\n")
    add("midnight", single("midnight", "Me <test@example.com>", "Midnight",
                           "Mon, 22 Mar 2021 00:00:00 +0000", body),
        ["INBOX", "[Gmail]/Sent Mail"],
        expect("Me <test@example.com>", "Me", "test@example.com", "Midnight",
               "2021-03-22T00:00:00+00:00", plain=body))

    words = ["Subject%03d" % i for i in range(150)]
    long_subject = "Long: " + " ".join(words)
    folded = "Long:"
    line = ""
    for word in words:
        if len(line) + len(word) > 60:
            folded += line + CRLF
            line = ""
        line += " " + word
    folded += line
    body = crlf("A very long subject.\n")
    add("long-subject", single("long-subject", ALICE, folded,
                               "Tue, 23 Mar 2021 09:00:00 +0000", body),
        ["INBOX", "[Gmail]/Sent Mail"],
        expect(*ALICE_X, long_subject, "2021-03-23T09:00:00+00:00", plain=body))

    add("empty-body", single("empty-body", ALICE, "Empty body",
                             "Wed, 24 Mar 2021 09:00:00 +0000", b""),
        ["INBOX"],
        expect(*ALICE_X, "Empty body", "2021-03-24T09:00:00+00:00"), seen=False)

    add("no-subject", single("no-subject", ALICE, None,
                             "Thu, 25 Mar 2021 09:00:00 +0000", crlf("No subject line.\n")),
        [],
        expect(*ALICE_X, "", "2021-03-25T09:00:00+00:00", plain=crlf("No subject line.\n")))

    # An unknown charset and 8-bit bytes: the text is read as windows-1252.
    add("unknown-charset", single("unknown-charset", ALICE, "Unknown charset",
                                  "Fri, 26 Mar 2021 09:00:00 +0000",
                                  "Caf\xe9 na\xefve \x80 end\r\n".encode("latin-1"),
                                  ctype="text/plain; charset=x-no-such-charset", cte="8bit"),
        ["Reçus"],
        expect(*ALICE_X, "Unknown charset", "2021-03-26T09:00:00+00:00",
               plain="Café naïve € end\r\n"))

    # No charset at all: valid UTF-8 is kept as UTF-8, other bytes as windows-1252.
    add("missing-charset", single("missing-charset", ALICE, "Missing charset",
                                  "Sat, 27 Mar 2021 09:00:00 +0000",
                                  "UTF-8 caf\u00e9 then latin1 caf".encode() + b"\xe9\r\n",
                                  ctype="text/plain", cte="8bit"),
        [],
        expect(*ALICE_X, "Missing charset", "2021-03-27T09:00:00+00:00",
               plain="UTF-8 café then latin1 café\r\n"))

    # Declared us-ascii, but 8-bit bytes: they are kept, not dropped.
    add("ascii-8bit", single("ascii-8bit", ALICE, "Mislabelled ascii",
                             "Sun, 28 Mar 2021 09:00:00 +0000", b"Stra\xdfe\r\n",
                             ctype="text/plain; charset=us-ascii", cte="8bit"),
        [],
        expect(*ALICE_X, "Mislabelled ascii", "2021-03-28T09:00:00+00:00", plain="Straße\r\n"))

    # Raw 8-bit header bytes (no encoded words) in UTF-8 and in latin-1.
    add("raw-8bit-headers",
        headers([("From", "Ren\u00e9e Raw <renee@example.fr>".encode()),
                 ("Subject", b"R\xe9sum\xe9 latin-1"),
                 ("Date", "Mon, 29 Mar 2021 09:00:00 +0000")]) + b"\r\n" + b"Body.\r\n",
        ["INBOX"],
        expect("Renée Raw <renee@example.fr>", "Renée Raw", "renee@example.fr",
               "Résumé latin-1", "2021-03-29T09:00:00+00:00", plain="Body.\r\n"))

    add("lf-only", b"From: Lf <lf@example.com>\nSubject: LF line ends\n"
                   b"Date: Tue, 30 Mar 2021 09:00:00 +0000\n\nline one\nline two\n",
        [],
        expect("Lf <lf@example.com>", "Lf", "lf@example.com", "LF line ends",
               "2021-03-30T09:00:00+00:00", plain="line one\nline two\n"))

    for i in range(6):
        body = crlf("Routine message number %d.\n" % (i + 1))
        sender = ["Alice Example <alice@example.com>", "Bob <bob@example.com>",
                  "Carol <carol@example.net>"][i % 3]
        name, addr = sender[:-1].split(" <")
        date = "Thu, %02d Apr 2021 1%d:00:00 +0000" % (i + 1, i)
        add("routine-%d" % (i + 1), single("routine-%d" % (i + 1), sender,
                                           "Routine %d" % (i + 1), date, body),
            ["[Gmail]/Sent Mail"] if i == 0 else (["[Gmail]/Important"] if i % 2 else []),
            expect(sender, name, addr, "Routine %d" % (i + 1),
                   "2021-04-%02dT1%d:00:00+00:00" % (i + 1, i), plain=body),
            seen=(i % 3 != 2))

    body = crlf("Trip details below.\n")
    add("travel", single("travel", "Airline <noreply@airline.example>", "Your booking",
                         "Mon, 12 Apr 2021 06:00:00 +0000", body),
        ["INBOX", "Travel Plans", "[Gmail]/Starred", "[Gmail]/Important"],
        expect("Airline <noreply@airline.example>", "Airline", "noreply@airline.example",
               "Your booking", "2021-04-12T06:00:00+00:00", plain=body), flags="F")

    # About 10 MB: a short text and a large binary attachment, last in All Mail.
    blob = random.Random(42).randbytes(7_600_000)
    body = crlf("The archive is attached.\n")
    add("huge", multipart("huge", ALICE, "Big attachment", "Tue, 13 Apr 2021 09:00:00 +0000",
                          "multipart/mixed",
                          [part("text/plain; charset=utf-8", body),
                           part("application/octet-stream", b64lines(blob), cte="base64",
                                disposition='attachment; filename="archive.bin"')]),
        [],
        expect(*ALICE_X, "Big attachment", "2021-04-13T09:00:00+00:00", plain=body))

    # Every message is in All Mail, as on Gmail.
    for m in msgs:
        if ALL not in m.folders:
            m.folders.append(ALL)
    return msgs


def demo_corpus(count=400):
    """A larger, varied mailbox for trying the program by hand: generated
    messages first, then the test corpus's odd ones (without the 10 MB one)."""
    rng = random.Random(7)
    people = [("Alice Example", "alice@example.com"), ("Bob Builder", "bob@example.com"),
              ("Jürgen Müller", "mueller@example.de"), ("José García", "jose@example.es"),
              ("山田太郎", "yamada@example.jp"), ("Zoë Ångström", "zoe@example.se"),
              ("News Desk", "news@example.org"), ("Airline", "noreply@airline.example"),
              ("", "plain.address@example.com"), ("Carol Singer", "carol@example.net")]
    topics = ["Meeting notes", "Invoice", "Weekend plans", "Réunion de projet", "Quarterly report",
              "Flight confirmation", "Grüße aus Berlin", "会議の予定", "Lunch?", "Photos",
              "Newsletter", "Password reset", "Your order has shipped", "Re: budget"]
    folders = ["INBOX", "[Gmail]/Sent Mail", "[Gmail]/Drafts", "[Gmail]/Spam",
               "[Gmail]/Starred", "[Gmail]/Important", "Work", "Work/Projects", "Reçus",
               "Travel Plans"]
    msgs = []
    for i in range(count):
        name, addr = people[rng.randrange(len(people))]
        topic = topics[rng.randrange(len(topics))]
        subject = "%s #%d" % (topic, i + 1)
        frm = ("%s <%s>" % (bword("UTF-8", name.encode()), addr)) if name else addr
        day = 1 + i * 365 // count
        secs = BASE_TIME - 40_000_000 + day * 86400 + rng.randrange(86400)
        date = format_date(secs)
        text = crlf("Hello,\n\n%s: message %d of the demo mailbox.\n\nRegards,\n%s\n"
                    % (topic, i + 1, name or addr))
        chosen = [f for f in folders if rng.random() < 0.12]
        kind = i % 4
        mid = "demo-%d" % (i + 1)
        if kind == 0:
            raw = single(mid, frm, bword("UTF-8", subject.encode()), date, text)
        elif kind == 1:
            raw = multipart(mid, frm, bword("UTF-8", subject.encode()), date,
                            "multipart/alternative",
                            [part("text/plain; charset=utf-8", text),
                             part("text/html; charset=utf-8",
                                  "<p>" + text.replace(CRLF, "<br>") + "</p>")])
        elif kind == 2:
            raw = single(mid, frm, qword("UTF-8", subject.encode()), date,
                         qp(text.encode("utf-8")), cte="quoted-printable")
        else:
            raw = multipart(mid, frm, bword("UTF-8", subject.encode()), date, "multipart/mixed",
                            [part("text/plain; charset=utf-8", text),
                             part("application/pdf", b64lines(b"%PDF-1.4 demo " * 40),
                                  cte="base64", disposition='attachment; filename="doc.pdf"')])
        msgs.append(Message(mid, raw, chosen + [ALL], None, seen=rng.random() < 0.7,
                            flags="F" if "[Gmail]/Starred" in chosen else ""))
    return msgs + [m for m in test_corpus() if m.id != "huge"]


def bench_corpus(count=10_000):
    """A large "[Gmail]/All Mail" for measuring a listing: mostly messages of a
    few KB, about 5% of tens to hundreds of KB, and 15 of several MB; about
    150 MB in all. The same bytes on every run."""
    rng = random.Random(2024)
    words = ("meeting project report invoice budget schedule update review draft plan customer "
             "order delivery team weekend travel summary question answer thanks regards please "
             "attached document version change release quarter results numbers office call "
             "Grüße réunion naïve café 会議 données").split()
    people = [("Alice Example", "alice@example.com"), ("Bob Builder", "bob@example.com"),
              ("Jürgen Müller", "mueller@example.de"), ("José García", "jose@example.es"),
              ("News Desk", "news@example.org"), ("Carol Singer", "carol@example.net")]
    big = set(rng.sample(range(count), 15))
    medium = set(rng.sample(sorted(set(range(count)) - big), 450))

    def prose(size):
        out, length = [], 0
        while length < size:
            line = " ".join(rng.choice(words) for _ in range(12))
            out.append(line)
            length += len(line.encode("utf-8")) + 2
        return CRLF.join(out) + CRLF

    msgs = []
    for i in range(count):
        name, addr = people[rng.randrange(len(people))]
        frm = "%s <%s>" % (bword("UTF-8", name.encode()), addr)
        subject = bword("UTF-8", ("%s %s #%d" % (rng.choice(words), rng.choice(words), i + 1)).encode())
        date = format_date(BASE_TIME - 60_000_000 + i * 5000 + rng.randrange(4000))
        mid = "bench-%d" % (i + 1)
        text = prose(rng.randrange(800, 4000))
        if i in big or i in medium:
            size = rng.randrange(1_800_000, 4_200_000) if i in big else rng.randrange(30_000, 220_000)
            raw = multipart(mid, frm, subject, date, "multipart/mixed",
                            [part("text/plain; charset=utf-8", text),
                             part("application/octet-stream", b64lines(rng.randbytes(size * 3 // 4)),
                                  cte="base64", disposition='attachment; filename="file%d.bin"' % i)])
        elif i % 3 == 0:
            raw = multipart(mid, frm, subject, date, "multipart/alternative",
                            [part("text/plain; charset=utf-8", text),
                             part("text/html; charset=utf-8",
                                  "<html><body><p>" + text.replace(CRLF, "<br>" + CRLF) + "</p></body></html>")])
        else:
            raw = single(mid, frm, subject, date, text)
        msgs.append(Message(mid, raw, [ALL], None, seen=rng.random() < 0.8))
    return msgs


def format_date(secs):
    import email.utils
    return email.utils.formatdate(secs, usegmt=False)


def other_corpus():
    body = crlf("Hello from the second account.\n")
    return [Message("other-1", single("other-1", ALICE, "For the other account",
                                      "Mon, 01 Mar 2021 10:00:00 +0000", body),
                    ["INBOX"],
                    expect(*ALICE_X, "For the other account", "2021-03-01T10:00:00+00:00",
                           plain=body))]


def google_mail_corpus():
    msgs = []
    for i, folders in enumerate([["INBOX"], ["[Google Mail]/Sent Mail"], ["INBOX", "[Google Mail]/Starred"]]):
        subject = "From a Google Mail account %d" % (i + 1)
        date = "Mon, 0%d Mar 2021 10:00:00 +0000" % (i + 1)
        body = crlf("Message %d of the third account.\n" % (i + 1))
        msgs.append(Message("google-%d" % (i + 1), single("google-%d" % (i + 1), ALICE, subject, date, body),
                            folders + ["[Google Mail]/All Mail"],
                            expect(*ALICE_X, subject, "2021-03-0%dT10:00:00+00:00" % (i + 1), plain=body)))
    return msgs


def seed_google_mail(args):
    if not args.google_mail_maildir:
        return None
    positions, entries = seed(args.google_mail_maildir, google_mail_corpus(), ["INBOX"] + list(GOOGLE_MAIL_FOLDERS))
    return {"folders": positions, "specialUse": GOOGLE_MAIL_FOLDERS, "messages": entries}


# ---------------------------------------------------------------- writing

def folder_path(maildir, folder):
    if folder == "INBOX":
        return maildir
    return os.path.join(maildir, *[modified_utf7(p) for p in folder.split("/")])


def make_folder(path):
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(path, sub), exist_ok=True)


def seed(maildir, msgs, folders):
    for folder in folders:
        make_folder(folder_path(maildir, folder))
    # [Gmail] itself holds no messages: without cur/ Dovecot lists it \Noselect.
    positions = {folder: [] for folder in folders}
    pid = os.getpid()
    entries = []
    for index, m in enumerate(msgs):
        flags = "".join(sorted(m.flags + ("S" if m.seen else "")))
        files = {}
        for folder in m.folders:
            base = folder_path(maildir, folder)
            unique = "%d.M%dP%d.seed" % (BASE_TIME + index, index, pid)
            tmp = os.path.join(base, "tmp", unique)
            with open(tmp, "wb") as f:
                f.write(m.raw)
            final = os.path.join(base, "cur", "%s,S=%d:2,%s" % (unique, len(m.raw), flags))
            os.rename(tmp, final)
            positions[folder].append(m.id)
            files[folder] = final
        entry = {"id": m.id, "file": files,
                 "positions": {f: len(positions[f]) for f in m.folders},
                 "seen": m.seen, "flagged": "F" in m.flags, "size": len(m.raw)}
        if m.expect is not None:
            entry.update(m.expect)
        entries.append(entry)
    return positions, entries


BENCH_CACHE_VERSION = "1"


def seed_cached(args, folders):
    """Seeds the bench corpus from the cache (hard links: the server only reads
    the message files), generating the cache first when it is missing or stale."""
    import shutil
    import subprocess
    cache = args.cache
    stamp = os.path.join(cache, "complete") if cache else None
    if not cache or not os.path.exists(stamp) or open(stamp).read() != BENCH_CACHE_VERSION:
        target = os.path.join(cache, "Maildir") if cache else args.maildir
        if cache:
            shutil.rmtree(cache, ignore_errors=True)
        positions, entries = seed(target, bench_corpus(), folders)
        result = {"timeZone": "UTC", "folders": positions, "specialUse": GMAIL_FOLDERS,
                  "labels": LABELS, "messages": entries}
        expected = os.path.join(cache, "expected.json") if cache else args.expected
        with open(expected, "w", encoding="utf-8") as f:
            json.dump(result, f, ensure_ascii=False)
        if not cache:
            return 0
        with open(stamp, "w") as f:
            f.write(BENCH_CACHE_VERSION)
    os.makedirs(os.path.dirname(os.path.abspath(args.maildir)), exist_ok=True)
    subprocess.run(["cp", "-al", os.path.join(cache, "Maildir"), args.maildir], check=True)
    shutil.copyfile(os.path.join(cache, "expected.json"), args.expected)
    if args.other_maildir:
        seed(args.other_maildir, other_corpus(), ["INBOX"])
    seed_google_mail(args)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", choices=["test", "demo", "bench"], default="test")
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--other-maildir")
    parser.add_argument("--google-mail-maildir")
    parser.add_argument("--expected", required=True)
    parser.add_argument("--cache", help="bench corpus only: keep the seeded maildir here and "
                        "link it in on later runs instead of generating it again")
    args = parser.parse_args()

    folders = ["INBOX"] + list(GMAIL_FOLDERS) + LABELS
    if args.corpus == "bench":
        return seed_cached(args, folders)
    msgs = test_corpus() if args.corpus == "test" else demo_corpus()
    positions, entries = seed(args.maildir, msgs, folders)
    result = {"timeZone": "UTC", "folders": positions, "specialUse": GMAIL_FOLDERS,
              "labels": LABELS, "messages": entries}
    if args.other_maildir:
        other_positions, other_entries = seed(args.other_maildir, other_corpus(), ["INBOX"])
        result["other"] = {"folders": other_positions, "messages": other_entries}
    google_mail = seed_google_mail(args)
    if google_mail:
        result["googleMail"] = google_mail
    with open(args.expected, "w", encoding="utf-8") as f:
        json.dump(result, f, ensure_ascii=False, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
