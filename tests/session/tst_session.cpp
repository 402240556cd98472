#include <QtTest>

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/errortrap.h"
#include "app/paths.h"
#include "app/programstate.h"
#include "session/clsimapsession.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"
#include "tests/support/testserver.h"

namespace {
const QString kAllMail = QStringLiteral("[Gmail]/All Mail");
}

// Stands in for the desktop's default viewer.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void open(const QUrl &url) { opened << url.toLocalFile(); }
};

// The mail session against the real server.
class SessionTest : public QObject
{
    Q_OBJECT

    std::shared_ptr<ImapClient> m_client;
    QJsonObject m_corpus;

    std::shared_ptr<clsImapSession> newSession(const QString &password = QString())
    {
        auto session = std::make_shared<clsImapSession>();
        const TestServer &server = TestServer::instance();
        session->ImapObject = m_client;
        session->SSL = true;
        session->PORT = server.port();
        session->IMAPServer = server.host();
        session->Username = server.user();
        session->Password = password.isNull() ? server.password() : password;
        return session;
    }

    int count(const QString &folder) const
    {
        return m_corpus.value("folders").toObject().value(folder).toArray().size();
    }

    QStringList errorLogLines() const
    {
        QFile log(errorLogPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(log.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    struct Listed
    {
        QList<qint32> uids;
        QStringList dates;
        QStringList subjects;
    };

    Listed listRange(clsImapSession &session, qint32 first, qint32 last, const QString &folder = kAllMail)
    {
        Listed listed;
        connect(&session, &clsImapSession::MailExtractListing, this,
                [&](const QString &, const QString &, const QString &, const QString &subject, const QString &date,
                    const QString &, const QString &, qint32 uid) {
                    listed.uids << uid;
                    listed.dates << date;
                    listed.subjects << subject;
                });
        session.CurrentLocation = first;
        session.MaxRecord = last;
        session.StartMailExtraction(folder);
        return listed;
    }

    QString subjectAt(const QString &folder, int position) const
    {
        for (const QJsonValue &entry : m_corpus.value("messages").toArray()) {
            const QJsonObject message = entry.toObject();
            if (message.value("positions").toObject().value(folder).toInt() == position)
                return message.value("subject").toString();
        }
        return QStringLiteral("(no message at %1)").arg(position);
    }

    static QList<qint32> numbers(qint32 first, qint32 last)
    {
        QList<qint32> result;
        for (qint32 n = first; n <= last; ++n)
            result << n;
        return result;
    }

private slots:
    void initTestCase()
    {
        TestServer::useCorpusTimeZone();
        useTemporaryHome();
        TestServer &server = TestServer::instance();
        QVERIFY2(server.isRunning(), qPrintable(server.startError()));
        ImapClientOptions options;
        options.extraCaFile = server.caFile();
        m_client = createImapClient(options);
        QFile expected(server.expectedFieldsFile());
        QVERIFY(expected.open(QIODevice::ReadOnly));
        m_corpus = QJsonDocument::fromJson(expected.readAll()).object();
        QVERIFY(count(kAllMail) > 5);
    }

    void init()
    {
        QFile::remove(errorLogPath());
        resetProgramState();
    }

    void connectAndCount()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession();
        QVERIFY(session->Connect());
        QCOMPARE(session->GetTotalMessage(kAllMail), count(kAllMail));
        QVERIFY(boxes->shown.empty());
    }

    void wrongPasswordShowsOneBox()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession(QStringLiteral("not the password"));
        QVERIFY(!session->Connect());
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].buttons, BoxButtons::YesNo);
        QCOMPARE(boxes->shown[0].icon, BoxIcon::None);
        QVERIFY(boxes->shown[0].text.startsWith(
            QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n")));
        QVERIFY(boxes->shown[0].text.endsWith(QStringLiteral("exactly what I'm talking about?")));
        QVERIFY(session->lastStatus() != 1);
        QVERIFY(!m_client->lastErrorText().contains(QStringLiteral("not the password")));
    }

    void yesOpensBothPictures()
    {
        ScriptedBoxesScope boxes;
        boxes->answers.push_back(BoxAnswer::Yes);
        UrlRecorder viewer;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "open");
        newSession(QStringLiteral("bad"))->Connect();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(viewer.opened, QStringList({programFolder() + "/Pictures/less-secure-apps1.jpg",
                                      programFolder() + "/Pictures/less-secure-apps2.jpg"}));
    }

    void abortBeforeConnect()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession();
        session->AbortProcess = true;
        QVERIFY(!session->Connect());
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].buttons, BoxButtons::YesNo);
    }

    void ranges_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        const int total = count(kAllMail);
        QTest::newRow("inside") << 2 << 4;
        QTest::newRow("across the end") << total - 1 << total + 2;
        QTest::newRow("past the end") << total + 1 << total + 3;
        QTest::newRow("first after last") << 5 << 3;
    }

    void ranges()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        ScriptedBoxesScope boxes;
        auto session = newSession();
        const int total = count(kAllMail);
        const Listed listed = listRange(*session, first, last);
        QCOMPARE(listed.uids, numbers(first, qMin(last, total)));
        const int tried = qMax(0, last - first + 1);
        QCOMPARE(errorLogLines().size(), 2 * tried);
        for (int i = 1; i < errorLogLines().size(); i += 2)
            QCOMPARE(errorLogLines()[i], QString(52, QLatin1Char('*')));
        QVERIFY(boxes->shown.empty());
        QCOMPARE(session->CurrentLocation, tried ? last : first);
    }

    void stopEndsAtTheNextFetchedMessage()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession();
        QList<qint32> uids;
        connect(session.get(), &clsImapSession::MailExtractListing, this,
                [&](const QString &, const QString &, const QString &, const QString &, const QString &,
                    const QString &, const QString &, qint32 uid) {
                    uids << uid;
                    if (uids.size() == 2)
                        session->AbortProcess = true;
                });
        session->CurrentLocation = 1;
        session->MaxRecord = count(kAllMail);
        session->StartMailExtraction(kAllMail);
        QCOMPARE(uids, QList<qint32>({1, 2}));
        // What was fetched ahead is dropped: the same connection answers the
        // next commands with their own data.
        m_client->setEventReceiver(nullptr);
        QVERIFY(m_client->rawCommand(QStringLiteral("NOOP")).contains(QStringLiteral(" OK ")));
        for (const int position : {4, 3}) {
            const auto email = m_client->fetchMessage(position, false);
            QVERIFY2(email, qPrintable(m_client->lastErrorText()));
            QCOMPARE(email->subject, subjectAt(kAllMail, position));
        }
    }

    void sameListingWhateverIsFetchedAhead_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("batch");
        const ImapClientOptions defaults;
        QTest::newRow("default window") << defaults.fetchWindow << defaults.fetchBatch;
        QTest::newRow("four one-message commands") << 4 << 1;
        QTest::newRow("three commands of up to five") << 3 << 5;
    }

    // Every event, argument for argument, as when each message is fetched on its own.
    void sameListingWhateverIsFetchedAhead()
    {
        QFETCH(int, window);
        QFETCH(int, batch);
        ScriptedBoxesScope boxes;
        const TestServer &server = TestServer::instance();
        const auto listAll = [&](int fetchWindow, int fetchBatch) {
            ImapClientOptions options;
            options.extraCaFile = server.caFile();
            options.fetchWindow = fetchWindow;
            options.fetchBatch = fetchBatch;
            auto session = newSession();
            session->ImapObject = createImapClient(options);
            QStringList events;
            connect(session.get(), &clsImapSession::MailExtractListing, this,
                    [&](const QString &from, const QString &fromName, const QString &fromAddress,
                        const QString &subject, const QString &date, const QString &plain, const QString &html,
                        qint32 uid) {
                        events << QStringList{QString::number(uid), from, fromName, fromAddress, subject, date,
                                              plain, html}
                                      .join(QChar(0));
                    });
            session->CurrentLocation = 1;
            session->MaxRecord = count(kAllMail);
            session->StartMailExtraction(kAllMail);
            session->ImapObject->disconnectFromServer();
            return events;
        };
        const QStringList alone = listAll(1, 1);
        QCOMPARE(alone.size(), count(kAllMail));
        const QStringList ahead = listAll(window, batch);
        QCOMPARE(ahead.size(), alone.size());
        for (int i = 0; i < alone.size(); ++i)
            QCOMPARE(ahead[i], alone[i]);
        QVERIFY(boxes->shown.empty());
    }

    void unselectableFolder()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession();
        QVERIFY(session->Connect());
        QCOMPARE(session->GetTotalMessage(QStringLiteral("No Such Folder")), 0);
        QCOMPARE(boxes->shown.size(), size_t(1));
        const Listed listed = listRange(*session, 1, 3, QStringLiteral("No Such Folder"));
        QVERIFY(listed.uids.isEmpty());
        QCOMPARE(boxes->shown.size(), size_t(2));
    }

    void failedLoginInListing()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession(QStringLiteral("bad"));
        const Listed listed = listRange(*session, 1, 3);
        QVERIFY(listed.uids.isEmpty());
        QCOMPARE(boxes->shown.size(), size_t(2));
        QCOMPARE(boxes->shown[1].text, QStringLiteral("Connection failed. Check username and password."));
        QCOMPARE(boxes->shown[1].buttons, BoxButtons::Ok);
    }

    void midnightHasNoTime()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession();
        const Listed listed = listRange(*session, 1, count(kAllMail));
        QCOMPARE(listed.uids.size(), count(kAllMail));
        bool sawMidnight = false;
        for (const QJsonValue &entry : m_corpus.value("messages").toArray()) {
            const QJsonObject message = entry.toObject();
            const int position = message.value("positions").toObject().value(kAllMail).toInt();
            const QString iso = message.value("date").toString();
            if (position <= 0)
                continue;
            const QString shown = listed.dates[position - 1];
            if (iso.isEmpty()) {
                QCOMPARE(shown, QString());
                continue;
            }
            const QDateTime expected = QDateTime::fromString(iso, Qt::ISODate).toLocalTime();
            QCOMPARE(parseReceivedDate(shown), QDateTime(expected.date(), expected.time()));
            if (expected.time() == QTime(0, 0)) {
                sawMidnight = true;
                QCOMPARE(shown, expected.toString(QStringLiteral("yyyy-MM-dd")));
            }
        }
        QVERIFY(sawMidnight);
    }

    void unwritableErrorLog()
    {
        ScriptedBoxesScope boxes;
        // A file where the log's folder should be: every write fails, even for root.
        const QString folder = QFileInfo(errorLogPath()).absolutePath();
        QDir(folder).removeRecursively();
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        auto session = newSession();
        const Listed listed = listRange(*session, 1, 3);
        QCOMPARE(listed.uids, QList<qint32>({1, 2, 3}));
        QVERIFY(boxes->shown.empty());
        QFile::remove(folder);
    }

    void enumerateFolders()
    {
        ScriptedBoxesScope boxes;
        auto session = newSession();
        QVERIFY(session->Connect());
        program().LabelNames = QStringList{QStringLiteral("stale")};
        const std::optional<QStringList> names = session->EnumMailFolders();
        QVERIFY(names.has_value());
        QStringList listed;
        for (const QString &line :
             TestServer::instance().doveadm({"mailbox", "list", "-u", TestServer::instance().user()}).split('\n')) {
            if (!line.trimmed().isEmpty())
                listed << line.trimmed();
        }
        QCOMPARE(*names, listed);
        QStringList system;
        QStringList labels;
        for (const QString &name : listed) {
            if (name.startsWith(QLatin1String("[Gmail]/")))
                system << name.mid(8);
            else if (name != QLatin1String("INBOX") && name != QLatin1String("[Gmail]"))
                labels << name;
        }
        // The \Noselect parent is listed but cannot be opened: no label.
        QVERIFY(listed.contains(QStringLiteral("[Gmail]")));
        for (int entry = 1; entry <= 7; ++entry)
            QCOMPARE(program().SpecialFolderNames[size_t(entry)], system[entry - 1]);
        QCOMPARE(program().SpecialFolderNames[0], QString());
        QCOMPARE(*program().LabelNames, labels);
        QVERIFY(labels.contains(QStringLiteral("Work/Projects")));
        QVERIFY(labels.contains(QString::fromUtf8("Reçus")));
    }

    void enumerationFailureIsANumberedError()
    {
        auto session = std::make_shared<clsImapSession>();
        try {
            session->EnumMailFolders();
            QFAIL("no error raised");
        } catch (const NumberedError &error) {
            QCOMPARE(error.number(), -2147221404);
            QCOMPARE(error.source(), QStringLiteral("Pellucid.clsImapSession.EnumMailFolders"));
            QCOMPARE(error.description(), QStringLiteral("clsImapSession component failure"));
        }
    }
};

QTEST_MAIN(SessionTest)
#include "tst_session.moc"
