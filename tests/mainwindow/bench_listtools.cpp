// Not a test: wall times of the main window's list tools on a list of
// 100,000 rows, and the memory a listing's rows and records take beside the
// size of the texts they hold. Run offscreen; an optional first argument
// replaces the row count.
#include <malloc.h>

#include <functional>
#include <random>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

#include "app/appearance.h"
#include "app/programstate.h"
#include "dialogs/form4.h"
#include "mainwindow/form1.h"
#include "mainwindow/messagelist.h"
#include "session/clsimapsession.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"

namespace {

const int kRuns = 3;
const int kTextToolLimit = 32767;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// One field of /proc/self/status, in KiB.
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts a new peak (VmHWM) at the current resident size.
void resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

double mib(qint64 bytes)
{
    return bytes / 1048576.0;
}

struct MessageTexts
{
    QString from, fromName, fromAddress, subject, receivedDate, plainTextBody, htmlTextBody;

    qint64 utf8Size() const
    {
        qint64 size = 0;
        for (const QString *text : {&from, &fromName, &fromAddress, &subject, &receivedDate, &plainTextBody,
                                    &htmlTextBody})
            size += text->toUtf8().size();
        return size;
    }
};

// Mail as a mailbox holds it: mostly ASCII, some accented and non-Latin
// names and subjects, plain bodies of one to three KB and HTML bodies about
// twice that.
class MessageMaker
{
public:
    MessageTexts make(int number)
    {
        static const char *const firstNames[] = {"Anna", "Bernd", "Chloé", "Dmitri", "Élodie", "Farid", "Greta",
                                                 "Hiroshi", "Ingrid", "José", "Katarzyna", "Lars", "Mia", "Noah",
                                                 "Øystein", "Priya", "Quentin", "Renée", "Søren", "Tomás"};
        static const char *const lastNames[] = {"Müller", "Smith", "García", "Nakamura", "Novák", "O'Brien",
                                                "Johansson", "Rossi", "Kowalski", "Dubois", "Lindqvist", "Chen"};
        static const char *const domains[] = {"example.com", "mail.example.org", "corp.example.net",
                                              "newsletter.example.co.uk", "gmail.example"};
        static const char *const words[] = {
            "invoice",  "meeting",  "quarterly", "report",   "delivery", "update",    "your",     "order",
            "project",  "schedule", "review",    "Rechnung", "für",      "März",      "réunion",  "équipe",
            "budget",   "approval", "shipping",  "confirmed", "weekly",  "summary",   "reminder", "team",
            "lunch",    "Friday",   "contract",  "draft",    "notes",    "follow-up", "question", "お知らせ"};
        const QString first = QString::fromUtf8(pick(firstNames));
        const QString last = QString::fromUtf8(pick(lastNames));
        MessageTexts texts;
        texts.fromName = first + QLatin1Char(' ') + last;
        texts.fromAddress = QStringLiteral("%1.%2%3@%4")
                                .arg(QString::fromUtf8(pick(firstNames)).toLower().left(4),
                                     QStringLiteral("x"), QString::number(number % 977),
                                     QString::fromUtf8(pick(domains)));
        texts.from = QLatin1Char('"') + texts.fromName + QStringLiteral("\" <") + texts.fromAddress + QLatin1Char('>');
        texts.subject = sentence(words, 3 + int(m_random() % 8));
        if (m_random() % 3 == 0)
            texts.subject.prepend(QStringLiteral("Re: "));
        // Ten years of mail, one message about every 53 minutes.
        const QDateTime start(QDate(2014, 1, 1), QTime(0, 0));
        texts.receivedDate = formatReceivedDate(start.addSecs(qint64(number) * 3200 + qint64(m_random() % 3000)));
        QString body;
        const int bodyLength = 1000 + int(m_random() % 2000);
        while (body.size() < bodyLength)
            body += sentence(words, 8 + int(m_random() % 12)) + QStringLiteral(".\r\n");
        texts.plainTextBody = body;
        QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><style>p{font-family:Arial;}</style>"
                                      "</head><body>");
        for (const QString &line : body.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            html += QStringLiteral("<p style=\"margin:0 0 8px 0\"><span>") + line + QStringLiteral("</span></p>\r\n");
        texts.htmlTextBody = html + QStringLiteral("</body></html>");
        return texts;
    }

private:
    template<size_t N>
    const char *pick(const char *const (&list)[N])
    {
        return list[m_random() % N];
    }

    template<size_t N>
    QString sentence(const char *const (&list)[N], int count)
    {
        QString text;
        for (int i = 0; i < count; ++i) {
            if (i)
                text += QLatin1Char(' ');
            text += QString::fromUtf8(pick(list));
        }
        text[0] = text[0].toUpper();
        return text;
    }

    std::mt19937 m_random{20240501};
};

// Three wall times of `measured`, each after an untimed `prepare`.
void timeThree(const QString &label, const std::function<void()> &prepare, const std::function<void()> &measured)
{
    out() << label << ":";
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        QElapsedTimer clock;
        clock.start();
        measured();
        out() << " " << QString::number(clock.nsecsElapsed() / 1e6, 'f', 1) << " ms";
    }
    out() << Qt::endl;
}

class Bench
{
public:
    explicit Bench(int rows)
        : m_rows(rows)
    {
        m_window.Form_Load();
        m_window.resize(1000, 760);
        m_window.show();
        QCoreApplication::processEvents();
    }

    void run()
    {
        out() << "rows: " << m_rows << Qt::endl;
        measureFilling();
        measureTextToolAtLimit();
        fill(m_rows, false);
        measureTools();
        measureLargerView();
        measureClearList();
    }

private:
    // Empties the list and the records as a new listing does.
    void emptyList()
    {
        m_window.ListView1->removeAllRows();
        m_window.ListView1->setSortingOff();
        m_window.MailRecords.recreate(0);
        QCoreApplication::processEvents();
        malloc_trim(0);
    }

    // Runs the listing handler for `count` messages; returns the UTF-8 size of their texts.
    qint64 fill(int count, bool sorted)
    {
        emptyList();
        if (sorted)
            m_window.SortListByDate();
        m_window.MailRecords.recreate(count);
        MessageMaker maker;
        qint64 size = 0;
        m_fillTime = 0;
        for (int n = 1; n <= count; ++n) {
            const MessageTexts texts = maker.make(n);
            size += texts.utf8Size();
            QElapsedTimer clock;
            clock.start();
            m_window.oSession_MailExtractListing(texts.from, texts.fromName, texts.fromAddress, texts.subject,
                                                 texts.receivedDate, texts.plainTextBody, texts.htmlTextBody, n);
            m_fillTime += clock.nsecsElapsed();
        }
        m_window.UpdateCounters(false);
        return size;
    }

    void measureFilling()
    {
        for (bool sorted : {false, true}) {
            out() << "filling " << m_rows << " rows through the listing handler, "
                  << (sorted ? "sorting on (sorted insert)" : "sorting off") << ":";
            QStringList memory;
            for (int run = 0; run < kRuns; ++run) {
                emptyList();
                const qint64 before = statusKiB("VmRSS:");
                resetPeak();
                const qint64 texts = fill(m_rows, sorted);
                const qint64 current = statusKiB("VmRSS:") - before;
                const qint64 peak = statusKiB("VmHWM:") - before;
                out() << " " << QString::number(m_fillTime / 1e6, 'f', 0) << " ms";
                memory << QStringLiteral("texts %1 MiB (UTF-8), RSS growth %2 MiB, peak growth %3 MiB (%4x)")
                              .arg(mib(texts), 0, 'f', 1)
                              .arg(current / 1024.0, 0, 'f', 1)
                              .arg(peak / 1024.0, 0, 'f', 1)
                              .arg(peak * 1024.0 / double(texts), 0, 'f', 2);
            }
            out() << Qt::endl;
            for (const QString &line : memory)
                out() << "  memory: " << line << Qt::endl;
        }
    }

    void measureTextToolAtLimit()
    {
        fill(kTextToolLimit, false);
        timeThree(QStringLiteral("Check Emails Containing... over %1 rows").arg(kTextToolLimit),
                  [&] { m_boxes->inputs.push_back(QStringLiteral("invoice")); },
                  [&] { m_window.PushButton9->click(); });
        out() << "  " << m_window.Label2->text() << Qt::endl;
        timeThree(QStringLiteral("Check Emails Not Containing... over %1 rows").arg(kTextToolLimit),
                  [&] { m_boxes->inputs.push_back(QStringLiteral("für")); },
                  [&] { m_window.PushButton11->click(); });
        out() << "  " << m_window.Label2->text() << Qt::endl;
    }

    void measureTools()
    {
        const auto settle = [] { QCoreApplication::processEvents(); };
        timeThree(QStringLiteral("Check All"), [&] { m_window.PushButton6->click(); settle(); },
                  [&] { m_window.PushButton4->click(); });
        out() << "  " << m_window.Label2->text() << Qt::endl;
        timeThree(QStringLiteral("Uncheck All"), [&] { m_window.PushButton4->click(); settle(); },
                  [&] { m_window.PushButton6->click(); });
        out() << "  " << m_window.Label2->text() << Qt::endl;
        MessageListModel *rows = m_window.ListView1->rows();
        int clicked = 0;
        timeThree(QStringLiteral("one check-box click and its counter refresh"), settle, [&] {
            rows->setData(rows->index(clicked * 7, 0), Qt::Checked, Qt::CheckStateRole);
            ++clicked;
        });
        out() << "  " << m_window.Label2->text() << Qt::endl;
        timeThree(QStringLiteral("Check Emails Containing... over %1 rows%2")
                      .arg(m_rows)
                      .arg(m_rows > kTextToolLimit ? QStringLiteral(" (refused: too many rows)") : QString()),
                  [&] { m_boxes->inputs.push_back(QStringLiteral("invoice")); },
                  [&] { m_window.PushButton9->click(); });
        out() << "  " << m_window.Label2->text() << Qt::endl;
        timeThree(QStringLiteral("sort by date"),
                  [&] {
                      rows->setSorting(true, 5, Qt::AscendingOrder);
                      settle();
                  },
                  [&] { m_window.SortListByDate(); });
        settle();
    }

    void measureLargerView()
    {
        QElapsedTimer clock;
        qint64 opened = 0;
        out() << "opening the larger view with " << m_window.ListView1->rowCount() << " rows (open / closed):";
        for (int run = 0; run < kRuns; ++run) {
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &m_window, [&] {
                auto *view = m_window.findChild<Form4 *>();
                // Open means showing every row, not just being visible.
                if (!view || !view->isVisible()
                    || view->ListView1->model()->rowCount() != m_window.ListView1->rowCount())
                    return;
                poll.stop();
                QCoreApplication::processEvents(); // its first paint
                opened = clock.nsecsElapsed();
                view->close();
            });
            poll.start(0);
            clock.start();
            m_window.PushButton12->click();
            out() << " " << QString::number(opened / 1e6, 'f', 1) << " / "
                  << QString::number(clock.nsecsElapsed() / 1e6, 'f', 1) << " ms";
        }
        out() << Qt::endl;
    }

    void measureClearList()
    {
        std::vector<MessageRow> saved;
        for (int position = 0; position < m_window.ListView1->rowCount(); ++position)
            saved.push_back(m_window.ListView1->rows()->row(position));
        timeThree(QStringLiteral("Clear List"),
                  [&] {
                      if (m_window.ListView1->rowCount() == 0) {
                          for (const MessageRow &row : saved)
                              m_window.ListView1->addRow(row);
                      }
                      QCoreApplication::processEvents();
                  },
                  [&] { m_window.PushButton3->click(); });
        out() << "  " << m_window.Label1->text() << ", " << m_window.Label2->text() << Qt::endl;
    }

    int m_rows;
    qint64 m_fillTime = 0;
    ScriptedBoxesScope m_boxes;
    Form1 m_window;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    useTemporaryHome();
    setProgramEndHandler([] {});
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    Bench bench(rows > 0 ? rows : 100000);
    bench.run();
    return 0;
}
