// The main window against a scripted server answering in Gmail's shapes:
// what a real Dovecot cannot be made to say (Gmail's refusals, [OVERQUOTA],
// BYE part-way, a huge claimed count, LIST as Gmail and "[Google Mail]"
// accounts send it).
//
// The shapes follow public recordings of Gmail sessions:
// - the greeting, as GNOME/geary's
//   test/engine/imap/transport/imap-deserializer-test.vala holds it
//   ("* OK Gimap ready for requests from 115.187.245.46 c194mb399904375ivc");
// - a greeting followed by "* BYE System Error" and a close, as
//   ruby/net-imap's test/net/imap/test_imap.rb (test_unexpected_bye) replays it;
// - "A0 NO [AUTHENTICATIONFAILED] Invalid credentials (Failure)", as the
//   recorded Gmail sessions in emailkit's imap_client tests end a refused login;
// - the web-login refusal, an untagged "* NO [WEBALERT url] Web login
//   required." before the tagged "NO [ALERT] Please log in via your web
//   browser: https://support.google.com/mail/accounts/answer/78754 (Failure)",
//   as a node-imap connection test replays it and fetchmail -v logs show it;
// - LIST of a "[Google Mail]" account, '* LIST (\HasChildren \Noselect) "/"
//   "[Google Mail]"' then '* LIST (\All \HasNoChildren) "/" "[Google
//   Mail]/All Mail"', as quoted in lumail/lumail's src/imap.cc;
// - "[OVERQUOTA] Account exceeded command or bandwidth limits.", which Gmail
//   sends tagged NO or as an untagged BYE (isync users' reports quote
//   "unexpected BYE response: [OVERQUOTA] ..."); the app-password and
//   too-many-connections refusals as mail clients' issue threads quote them.
#include <QtTest>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/appearance.h"
#include "app/paths.h"
#include "app/programstate.h"
#include "mainwindow/form1.h"
#include "mainwindow/messagelist.h"
#include "session/imapclient.h"
#include "tests/support/fakeimapserver.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"
#include "tests/support/testserver.h"

namespace {

const QString kUser = QStringLiteral("someone@gmail.com");
const QString kPassword = QStringLiteral("Secret-42");

const QByteArray kGreeting = "* OK Gimap ready for requests from 192.0.2.7 h98mb854172451pjb\r\n";
const QByteArray kLogin = " LOGIN \"someone@gmail.com\" \"Secret-42\"\r\n";

// Gmail's LIST: every name quoted, its own order, special-use flags.
const QByteArray kGmailList = "* LIST (\\HasNoChildren) \"/\" \"INBOX\"\r\n"
                              "* LIST (\\HasChildren \\Noselect) \"/\" \"[Gmail]\"\r\n"
                              "* LIST (\\All \\HasNoChildren) \"/\" \"[Gmail]/All Mail\"\r\n"
                              "* LIST (\\Drafts \\HasNoChildren) \"/\" \"[Gmail]/Drafts\"\r\n"
                              "* LIST (\\HasNoChildren \\Important) \"/\" \"[Gmail]/Important\"\r\n"
                              "* LIST (\\HasNoChildren \\Sent) \"/\" \"[Gmail]/Sent Mail\"\r\n"
                              "* LIST (\\HasNoChildren \\Junk) \"/\" \"[Gmail]/Spam\"\r\n"
                              "* LIST (\\Flagged \\HasNoChildren) \"/\" \"[Gmail]/Starred\"\r\n"
                              "* LIST (\\HasNoChildren \\Trash) \"/\" \"[Gmail]/Trash\"\r\n"
                              "* LIST (\\HasNoChildren) \"/\" \"Work\"\r\n";

QByteArray tag(int number)
{
    return 'A' + QByteArray::number(number).rightJustified(3, '0');
}

QByteArray fetchReply(int number)
{
    const QByteArray message = "From: Ann <ann@example.com>\r\nSubject: message " + QByteArray::number(number)
        + "\r\nDate: Mon, 01 Mar 2021 10:00:00 +0000\r\n\r\nText\r\n";
    return "* " + QByteArray::number(number) + " FETCH (BODY[] {" + QByteArray::number(message.size()) + "}\r\n"
        + message + ")\r\n";
}

// `first`, then `rest` up to seven entries: options no enumeration reached.
QStringList seven(QStringList first, const QString &rest)
{
    while (first.size() < 7)
        first << rest;
    return first;
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

int errorLogLines()
{
    QFile log(errorLogPath());
    return log.open(QIODevice::ReadOnly) ? int(log.readAll().count("\r\n")) : 0;
}

} // namespace

class GmailAnswersTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeImapServer> m_server;
    int m_tag = 0; // the tag of the client's last command

    // A window whose sessions go to a new scripted server over TLS.
    std::unique_ptr<Form1> newWindow(int fetchWindow = 1, int responseTimeoutMs = 5000, bool trustServer = true)
    {
        const QString folder = TestServer::instance().directory();
        m_server = std::make_unique<FakeImapServer>(folder + "/server.pem", folder + "/server.key");
        m_tag = 0;
        program().server.port = m_server->port();
        program().server.caFile = trustServer ? TestServer::instance().caFile() : QString();
        auto window = std::make_unique<Form1>();
        window->Form_Load();
        ImapClientOptions options;
        options.extraCaFile = program().server.caFile;
        options.responseTimeoutMs = responseTimeoutMs;
        options.connectTimeoutMs = 5000;
        options.fetchWindow = fetchWindow;
        options.fetchBatch = 1;
        window->ImapComponent = createImapClient(options);
        window->Text1->setText(kUser);
        window->Text2->setText(kPassword);
        return window;
    }

    // Scripts the client's next command and the server's answer ("%1" = its tag).
    void exchange(const QByteArray &command, const QByteArray &answer)
    {
        const QByteArray sent = tag(++m_tag);
        m_server->expect(sent + command).send(QString::fromLatin1(answer).arg(QString::fromLatin1(sent)).toLatin1());
    }

    // Greeting, identification and login, on a new connection after the first.
    void scriptLogin(bool newConnection = false,
                     const QByteArray &answer = "%1 OK someone@gmail.com authenticated (Success)\r\n")
    {
        if (newConnection)
            m_server->accept();
        m_server->send(kGreeting);
        exchange(" ID (\"GUID\" \"1\")\r\n", "* ID (\"name\" \"GImap\" \"vendor\" \"Google, Inc.\")\r\n%1 OK Success\r\n");
        exchange(kLogin, answer);
    }

    void scriptConnect(const QByteArray &listAnswer, bool newConnection = false)
    {
        scriptLogin(newConnection);
        exchange(" LIST \"\" \"*\"\r\n", listAnswer);
    }

    static void check(FakeImapServer &server)
    {
        QVERIFY2(server.scriptDone(), qPrintable(server.problem()));
    }

    static QString boxText(ScriptedBoxes &boxes, BoxButtons buttons)
    {
        for (const RecordedBox &box : boxes.shown) {
            if (box.buttons == buttons)
                return box.text;
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        useTemporaryHome();
        setProgramEndHandler([] {});
        QVERIFY2(TestServer::instance().isRunning(), qPrintable(TestServer::instance().startError()));
    }

    void init()
    {
        resetProgramState();
        program().server.host = QStringLiteral("127.0.0.1");
        QFile::remove(errorLogPath());
    }

    void cleanup() { m_server.reset(); }

    void enumerationFollowsTheServer_data();
    void enumerationFollowsTheServer();
    void refusalsReachTheBox_data();
    void refusalsReachTheBox();
    void listingEndsHonestly_data();
    void listingEndsHonestly();
};

void GmailAnswersTest::enumerationFollowsTheServer_data()
{
    QTest::addColumn<QList<QByteArray>>("lists"); // one LIST answer per Connect, in order
    QTest::addColumn<QStringList>("captions");     // Option4..Option10 after the last Connect
    QTest::addColumn<QStringList>("mailboxes");    // what each of them then lists
    QTest::addColumn<QStringList>("labels");       // LabelNames; {"(none)"} when absent

    const QByteArray ok = "%1 OK Success\r\n";
    const QStringList gmailCaptions{"All Mail", "Drafts", "Important", "Sent Mail", "Spam", "Starred", "Trash"};
    QStringList gmailNames;
    for (const QString &caption : gmailCaptions)
        gmailNames << "[Gmail]/" + caption;

    QTest::newRow("Gmail: the \\Noselect parent [Gmail] is no label")
        << QList<QByteArray>{kGmailList + ok} << gmailCaptions << gmailNames << QStringList{"Work"};
    QTest::newRow("more than seven system folders: the first seven")
        << QList<QByteArray>{"* LIST () \"/\" \"[Gmail]/Chats\"\r\n" + kGmailList + ok}
        << QStringList{"Chats", "All Mail", "Drafts", "Important", "Sent Mail", "Spam", "Starred"}
        << QStringList{"[Gmail]/Chats", "[Gmail]/All Mail", "[Gmail]/Drafts", "[Gmail]/Important",
                       "[Gmail]/Sent Mail", "[Gmail]/Spam", "[Gmail]/Starred"}
        << QStringList{"Work"};
    QTest::newRow("fewer than seven after an earlier enumeration: older captions kept")
        << QList<QByteArray>{kGmailList + ok,
                             "* LIST () \"/\" \"[Gmail]/Bin\"\r\n* LIST () \"/\" \"[Gmail]/Sent\"\r\n" + ok}
        << QStringList{"Bin", "Sent", "Important", "Sent Mail", "Spam", "Starred", "Trash"}
        << QStringList{"[Gmail]/Bin", "[Gmail]/Sent", "[Gmail]/Important", "[Gmail]/Sent Mail", "[Gmail]/Spam",
                       "[Gmail]/Starred", "[Gmail]/Trash"}
        << QStringList{"Work"};
    QTest::newRow("Inbox in another letter case is a label, INBOX is not")
        << QList<QByteArray>{"* LIST () \"/\" \"INBOX\"\r\n* LIST () \"/\" \"Inbox\"\r\n* LIST () \"/\" inbox\r\n" + ok}
        << seven({}, "") << seven({}, "[Gmail]/") << QStringList{"Inbox", "inbox"};
    QTest::newRow("[GMAIL]/x is a system folder, listed by its own name")
        << QList<QByteArray>{"* LIST () \"/\" \"[GMAIL]/x\"\r\n* LIST () \"/\" \"y\"\r\n" + ok}
        << seven({"x"}, "") << seven({"[GMAIL]/x"}, "[Gmail]/") << QStringList{"y"};
    QTest::newRow("only inbox and system folders leave the labels as they were")
        << QList<QByteArray>{kGmailList + ok, "* LIST () \"/\" \"INBOX\"\r\n* LIST () \"/\" \"[Gmail]/Trash\"\r\n" + ok}
        << QStringList{"Trash", "Drafts", "Important", "Sent Mail", "Spam", "Starred", "Trash"}
        << QStringList{"[Gmail]/Trash", "[Gmail]/Drafts", "[Gmail]/Important", "[Gmail]/Sent Mail", "[Gmail]/Spam",
                       "[Gmail]/Starred", "[Gmail]/Trash"}
        << QStringList{"Work"};
    QTest::newRow("only inbox and system folders, no earlier labels: none")
        << QList<QByteArray>{"* LIST () \"/\" \"INBOX\"\r\n* LIST () \"/\" \"[Gmail]/Trash\"\r\n" + ok}
        << seven({"Trash"}, "") << seven({"[Gmail]/Trash"}, "[Gmail]/") << QStringList{"(none)"};
    QTest::newRow("a failed LIST keeps the earlier enumeration")
        << QList<QByteArray>{kGmailList + ok, QByteArray("%1 NO [UNAVAILABLE] Temporary System Problem (Failure)\r\n")}
        << gmailCaptions << gmailNames << QStringList{"Work"};
    QByteArray googleMail = kGmailList;
    googleMail.replace("[Gmail]", "[Google Mail]");
    QStringList googleNames;
    for (const QString &caption : gmailCaptions)
        googleNames << "[Google Mail]/" + caption;
    QTest::newRow("[Google Mail] account") << QList<QByteArray>{googleMail + ok} << gmailCaptions << googleNames
                                           << QStringList{"Work"};
    QTest::newRow("special-use folders without a prefix")
        << QList<QByteArray>{"* LIST (\\HasNoChildren) \"/\" INBOX\r\n"
                             "* LIST (\\HasNoChildren \\Sent) \"/\" \"Gesendete Objekte\"\r\n"
                             "* LIST (\\HasNoChildren \\Trash) \"/\" Papierkorb\r\n"
                             "* LIST (\\HasNoChildren \\NonExistent \\Junk) \"/\" Spam\r\n"
                             "* LIST (\\HasNoChildren) \"/\" Archiv\r\n" + ok}
        << seven({"Gesendete Objekte", "Papierkorb"}, "") << seven({"Gesendete Objekte", "Papierkorb"}, "[Gmail]/")
        << QStringList{"Archiv"};
}

// Folder captions, the mailbox each option lists, and the labels offered.
void GmailAnswersTest::enumerationFollowsTheServer()
{
    QFETCH(QList<QByteArray>, lists);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, mailboxes);
    QFETCH(QStringList, labels);
    ScriptedBoxesScope boxes;
    auto window = newWindow();
    for (int i = 0; i < lists.size(); ++i) {
        if (i > 0)
            exchange(" LOGOUT\r\n", "* BYE LOGOUT Requested\r\n%1 OK 73 good day (Success)\r\n");
        scriptConnect(lists[i], i > 0);
    }
    for (int i = 0; i < lists.size(); ++i) {
        if (i > 0) {
            window->PushButton5_Click(); // Disconnect, which empties the login boxes
            window->Text1->setText(kUser);
            window->Text2->setText(kPassword);
        }
        window->PushButton5_Click();
    }
    check(*m_server);
    const bool listFailed = lists.last().contains(" NO ");
    QCOMPARE(boxes->shown.size(), size_t(listFailed ? 1 : 0));
    if (listFailed)
        QVERIFY2(boxes->shown[0].text.contains("Temporary System Problem (Failure)"), qPrintable(boxes->shown[0].text));
    for (int number = 4; number <= 10; ++number) {
        QCOMPARE(window->folderOption(number)->text(), captions[number - 4]);
        for (int other = 3; other <= 10; ++other)
            window->folderOption(other)->setChecked(other == number);
        QCOMPARE(window->folderName(), mailboxes[number - 4]);
    }
    QCOMPARE(program().LabelNames.value_or(QStringList{"(none)"}), labels);
}

void GmailAnswersTest::refusalsReachTheBox_data()
{
    QTest::addColumn<QString>("step");        // where the server refuses
    QTest::addColumn<QByteArray>("answer");   // its answer there ("%1" = the command's tag)
    QTest::addColumn<QStringList>("words");   // what the box must say
    QTest::newRow("app password required")
        << "login"
        << QByteArray("%1 NO [ALERT] Application-specific password required: "
                      "https://support.google.com/accounts/answer/185833 (Failure)\r\n")
        << QStringList{"[ALERT] Application-specific password required: "
                       "https://support.google.com/accounts/answer/185833 (Failure)"};
    QTest::newRow("web login required, alert first")
        << "login"
        << QByteArray("* NO [WEBALERT https://accounts.google.com/signin/continue?sarp=1&scc=1&plt=AKgnsbt] "
                      "Web login required.\r\n"
                      "%1 NO [ALERT] Please log in via your web browser: "
                      "https://support.google.com/mail/accounts/answer/78754 (Failure)\r\n")
        << QStringList{"[WEBALERT https://accounts.google.com/signin/continue?sarp=1&scc=1&plt=AKgnsbt] "
                       "Web login required.",
                       "[ALERT] Please log in via your web browser: "
                       "https://support.google.com/mail/accounts/answer/78754 (Failure)"};
    QTest::newRow("invalid credentials") << "login"
                                         << QByteArray("%1 NO [AUTHENTICATIONFAILED] Invalid credentials (Failure)\r\n")
                                         << QStringList{"[AUTHENTICATIONFAILED] Invalid credentials (Failure)"};
    QTest::newRow("too many simultaneous connections")
        << "login" << QByteArray("%1 NO [ALERT] Too many simultaneous connections. (Failure)\r\n")
        << QStringList{"[ALERT] Too many simultaneous connections. (Failure)"};
    QTest::newRow("a refusal that repeats the password")
        << "login" << QByteArray("%1 NO [AUTHENTICATIONFAILED] Secret-42 is not it (Failure)\r\n")
        << QStringList{"(password hidden) is not it (Failure)"};
    QTest::newRow("EXAMINE refused") << "examine" << QByteArray("%1 NO System Error (Failure)\r\n")
                                     << QStringList{"The server said: System Error (Failure)"};
    QTest::newRow("greeting that says BYE") << "greeting" << QByteArray("* BYE Service unavailable\r\n")
                                            << QStringList{"BYE Service unavailable"};
    QTest::newRow("silent server") << "silent" << QByteArray()
                                   << QStringList{"No answer from the server within 0.5 seconds."};
    QTest::newRow("certificate not trusted") << "certificate" << QByteArray()
                                             << QStringList{"The server's TLS certificate was refused: "};
}

// Every refusal shows the invalid-login box with the server's own words, or
// what happened in plain words, and never the password.
void GmailAnswersTest::refusalsReachTheBox()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, words);
    ScriptedBoxesScope boxes;
    auto window = newWindow(1, step == "silent" ? 500 : 5000, step != "certificate");
    if (step == "greeting") {
        m_server->send(answer);
    } else if (step == "silent") {
        m_server->send(kGreeting).expect("A001 ID (\"GUID\" \"1\")\r\n");
    } else if (step == "login") {
        m_server->send(kGreeting);
        exchange(" ID (\"GUID\" \"1\")\r\n", "%1 OK Success\r\n");
        exchange(kLogin, answer);
    } else if (step == "examine") {
        scriptConnect(kGmailList + "%1 OK Success\r\n");
        exchange(" EXAMINE \"[Gmail]/All Mail\"\r\n", answer);
    }
    window->PushButton5_Click();
    if (step == "examine") {
        window->Option4->click();
        window->PushButton10_Click();
    }
    if (step != "certificate")
        check(*m_server);
    const QString text = boxText(*boxes, BoxButtons::YesNo);
    QVERIFY(text.startsWith("Invalid login. Please double-check your username and password.\r\n\r\n"));
    QVERIFY(text.endsWith("exactly what I'm talking about?"));
    for (const QString &word : words)
        QVERIFY2(text.contains(word), qPrintable(text));
    QVERIFY2(!text.contains(kPassword), qPrintable(text));
}

void GmailAnswersTest::listingEndsHonestly_data()
{
    QTest::addColumn<QByteArray>("relogin");     // the answer to the listing's own LOGIN, "" for OK
    QTest::addColumn<int>("window");             // FETCH commands in flight at most
    QTest::addColumn<qint64>("exists");          // the count the server claims
    QTest::addColumn<QList<QByteArray>>("script"); // after EXAMINE: alternately what the client sends and the answer
    QTest::addColumn<bool>("connectionStays");   // the server then must get nothing but NOOP
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("tried");              // numbers in errorlog.txt
    QTest::addColumn<QString>("end");            // the closing box
    const QByteArray overquota = " NO [OVERQUOTA] Account exceeded command or bandwidth limits.\r\n";
    QTest::newRow("OVERQUOTA part-way")
        << QByteArray() << 1 << qint64(5)
        << QList<QByteArray>{"A008 FETCH 1 BODY.PEEK[]\r\n", fetchReply(1) + "A008 OK Success\r\n",
                             "A009 FETCH 2 BODY.PEEK[]\r\n", fetchReply(2) + "A009 OK Success\r\n",
                             "A010 FETCH 3 BODY.PEEK[]\r\n", "A010" + overquota}
        << true << 2 << 3
        << "2 of 5 messages were listed; 3 could not be listed.\r\n\r\n"
           "The server said: [OVERQUOTA] Account exceeded command or bandwidth limits.";
    QTest::newRow("OVERQUOTA with commands sent ahead")
        << QByteArray() << 3 << qint64(6)
        << QList<QByteArray>{"A008 FETCH 1 BODY.PEEK[]\r\nA009 FETCH 2 BODY.PEEK[]\r\nA010 FETCH 3 BODY.PEEK[]\r\n",
                             fetchReply(1) + "A008 OK Success\r\n", "A011 FETCH 4 BODY.PEEK[]\r\n",
                             "A009" + overquota + "A010" + overquota + "A011" + overquota}
        << true << 1 << 2
        << "1 of 6 messages were listed; 5 could not be listed.\r\n\r\n"
           "The server said: [OVERQUOTA] Account exceeded command or bandwidth limits.";
    QTest::newRow("BYE part-way, then closed")
        << QByteArray() << 1 << qint64(4)
        << QList<QByteArray>{"A008 FETCH 1 BODY.PEEK[]\r\n", fetchReply(1) + "A008 OK Success\r\n",
                             "A009 FETCH 2 BODY.PEEK[]\r\n", "* BYE System Error\r\n"}
        << false << 1 << 2
        << "1 of 4 messages were listed; 3 could not be listed.\r\n\r\n"
           "The server closed the connection: BYE System Error.";
    QTest::newRow("connection dropped mid-message")
        << QByteArray() << 1 << qint64(3)
        << QList<QByteArray>{"A008 FETCH 1 BODY.PEEK[]\r\n", "* 1 FETCH (BODY[] {500}\r\nFrom: half"}
        << false << 0 << 1
        << "0 of 3 messages were listed; 3 could not be listed.\r\n\r\nThe server closed the connection.";
    QTest::newRow("one message refused: the others still listed")
        << QByteArray() << 1 << qint64(3)
        << QList<QByteArray>{"A008 FETCH 1 BODY.PEEK[]\r\n", fetchReply(1) + "A008 OK Success\r\n",
                             "A009 FETCH 2 BODY.PEEK[]\r\n", "A009 NO Some messages could not be FETCHed (Failure)\r\n",
                             "A010 FETCH 3 BODY.PEEK[]\r\n", fetchReply(3) + "A010 OK Success\r\n"}
        << true << 2 << 3
        << "2 of 3 messages were listed; 1 could not be listed.\r\n\r\n"
           "The server said: Some messages could not be FETCHed (Failure)";
    QTest::newRow("login refused on the listing's own connection")
        << QByteArray("%1 NO [ALERT] Too many simultaneous connections. (Failure)\r\n") << 1 << qint64(3)
        << QList<QByteArray>{} << false << 0 << 0
        << "0 of 3 messages were listed; 3 could not be listed.\r\n\r\n"
           "The server said: [ALERT] Too many simultaneous connections. (Failure)";
    for (const qint64 huge : {qint64(10000000), qint64(2147483647)}) {
        QTest::addRow("a claimed count of %lld", huge)
            << QByteArray() << 1 << huge
            << QList<QByteArray>{"A008 FETCH 1 BODY.PEEK[]\r\n", fetchReply(1) + "A008 OK Success\r\n",
                                 "A009 FETCH 2 BODY.PEEK[]\r\n", "* BYE System Error\r\n"}
            << false << 1 << 2
            << QStringLiteral("1 of %1 messages were listed; %2 could not be listed.\r\n\r\n"
                              "The server closed the connection: BYE System Error.")
                   .arg(huge)
                   .arg(huge - 1);
    }
}

// A listing that could not list its whole range says how much it listed and
// why, sends nothing more once the account or the connection is gone, and
// takes memory for what arrives rather than for the count claimed.
void GmailAnswersTest::listingEndsHonestly()
{
    QFETCH(QByteArray, relogin);
    QFETCH(int, window);
    QFETCH(qint64, exists);
    QFETCH(QList<QByteArray>, script);
    QFETCH(bool, connectionStays);
    QFETCH(int, rows);
    QFETCH(int, tried);
    QFETCH(QString, end);
    ScriptedBoxesScope boxes;
    auto form = newWindow(window);
    const QByteArray examined = "* " + QByteArray::number(exists) + " EXISTS\r\n%1 OK [READ-ONLY] [Gmail]/All Mail selected. (Success)\r\n";
    scriptConnect(kGmailList + "%1 OK Success\r\n");
    exchange(" EXAMINE \"[Gmail]/All Mail\"\r\n", examined);
    if (relogin.isEmpty()) {
        scriptLogin(true);
        exchange(" EXAMINE \"[Gmail]/All Mail\"\r\n", examined);
    } else {
        scriptLogin(true, relogin);
    }
    for (int i = 0; i + 1 < script.size(); i += 2)
        m_server->expect(script[i]).send(script[i + 1]);
    if (connectionStays) {
        // The tag after the script's last command.
        const QByteArray noop = tag(script[script.size() - 2].trimmed().split('\n').last().mid(1, 3).toInt() + 1);
        m_server->expect(noop + " NOOP\r\n").send(noop + " OK Success\r\n");
    } else {
        m_server->close();
    }
    form->PushButton5_Click();
    form->Option4->click();
    const qint64 before = residentBytes();
    form->PushButton10_Click();
    const qint64 grown = residentBytes() - before;
    if (connectionStays) // Sent only now: any FETCH sent after the refusal would stand before it.
        QVERIFY(!form->ImapComponent->rawCommand(QStringLiteral("NOOP")).isEmpty());
    check(*m_server);
    QCOMPARE(form->ListView1->rowCount(), rows);
    // A refused login has shown its own two boxes first.
    QCOMPARE(boxes->shown.size(), size_t(relogin.isEmpty() ? 1 : 3));
    QCOMPARE(boxes->shown.back().text, end);
    QCOMPARE(boxes->shown.back().icon, BoxIcon::Warning);
    QCOMPARE(errorLogLines(), 2 * tried);
    QVERIFY2(grown < 64 * 1024 * 1024, qPrintable(QString::number(grown)));
}

QTEST_MAIN(GmailAnswersTest)
#include "tst_gmailanswers.moc"
