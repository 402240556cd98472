#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "app/boxes.h"
#include "mainwindow/messagelist.h"
#include "tests/mainwindow/windowfixture.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"

namespace {

MailRecord message(const QString &from, const QString &subject, const QString &date)
{
    MailRecord record;
    record.From = from;
    record.Subject = subject;
    record.ReceivedDate = date;
    record.PlainTextBody = QStringLiteral("body text never searched: lunch quarterly invoice");
    return record;
}

// The first `count` of five rows; the fifth has three empty texts.
void addRows(Form1 &window, int count = 5)
{
    const MailRecord rows[] = {
        message(QStringLiteral("Alice <alice@example.com>"), QStringLiteral("Lunch"), QStringLiteral("2024-05-01")),
        message(QStringLiteral("Bob"), QStringLiteral("Invoice 17"), QStringLiteral("2023-12-31")),
        message(QStringLiteral("Carol <carol@corp.example>"), QStringLiteral("Quarterly figures"),
                QStringLiteral("2021-02-03")),
        message(QStringLiteral("Dan"), QStringLiteral("INVOICE reminder"), QStringLiteral("2022-07-08")),
        message(QString(), QString(), QString()),
    };
    for (int i = 0; i < count; ++i)
        addMessage(window, rows[i]);
}

void addPlainRows(Form1 &window, int count)
{
    MessageListModel *rows = window.ListView1->rows();
    for (int i = 0; i < count; ++i) {
        MessageRow row;
        row.setText(0, QStringLiteral("sender%1").arg(i));
        row.setText(3, QStringLiteral("subject %1").arg(i));
        rows->addRow(std::move(row));
    }
}

} // namespace

class TestSelection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporaryHome(); }

    void selectionSequences_data();
    void selectionSequences();
    void textsBeyondAscii_data();
    void textsBeyondAscii();
    void emptyList_data();
    void emptyList();
    void userCheckRefreshesCounters();
    void eventsDuringACount_data();
    void eventsDuringACount();
    void longListTools();
    void clearList_data();
    void clearList();
};

// Steps: "all" (Check All), "none" (Uncheck All), "+X" / "-X" (Check Emails
// Containing / Not Containing with answer X), "+^" (Containing, cancelled).
void TestSelection::selectionSequences_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("rowCount"); // the first rows of the five
    QTest::addColumn<QString>("marks");
    QTest::addColumn<bool>("flag");

    QTest::newRow("check all then X matching only row 3")
        << QStringList{"all", "+quarterly"} << 5 << "00111" << true;
    QTest::newRow("then Y matching only row 1 adds it")
        << QStringList{"all", "+quarterly", "+lunch"} << 5 << "10111" << true;
    QTest::newRow("capitals match any case") << QStringList{"none", "+INVOICE"} << 5 << "01010" << true;
    QTest::newRow("date text matches") << QStringList{"none", "+2021"} << 5 << "00100" << true;
    QTest::newRow("address inside the From text") << QStringList{"none", "+corp.example"} << 5 << "00100" << true;
    QTest::newRow("bodies are not searched") << QStringList{"none", "+never searched"} << 5 << "00000" << false;
    QTest::newRow("not containing after uncheck all, X in every row")
        << QStringList{"none", "-2"} << 4 << "0000" << false;
    QTest::newRow("not containing checks the others") << QStringList{"none", "-invoice"} << 5 << "10101" << true;
    QTest::newRow("empty X containing checks rows with any text") << QStringList{"none", "+"} << 5 << "11110" << true;
    QTest::newRow("empty X not containing checks only the empty row") << QStringList{"none", "-"} << 5 << "00001" << true;
    QTest::newRow("cancel is an empty X") << QStringList{"none", "+^"} << 5 << "11110" << true;
    QTest::newRow("no match clears every mark and leaves the flag")
        << QStringList{"all", "+zzz"} << 5 << "00000" << false;
    QTest::newRow("flag set: runs of both tools build a union")
        << QStringList{"none", "+lunch", "-invoice"} << 5 << "10101" << true;
    QTest::newRow("check all resets the flag")
        << QStringList{"none", "+lunch", "all", "+quarterly"} << 5 << "00111" << true;
    QTest::newRow("uncheck all resets the flag")
        << QStringList{"all", "+lunch", "none"} << 5 << "00000" << false;
}

void TestSelection::selectionSequences()
{
    QFETCH(QStringList, steps);
    QFETCH(int, rowCount);
    QFETCH(QString, marks);
    QFETCH(bool, flag);

    ScriptedBoxesScope boxes;
    auto window = loadedWindow();
    addRows(*window, rowCount);

    int inputs = 0;
    for (const QString &step : steps) {
        if (step == QLatin1String("all")) {
            window->PushButton4->click();
        } else if (step == QLatin1String("none")) {
            window->PushButton6->click();
        } else {
            if (step.mid(1) == QLatin1String("^"))
                boxes->inputs.push_back(std::nullopt);
            else
                boxes->inputs.push_back(step.mid(1));
            (step.startsWith(QLatin1Char('+')) ? window->PushButton9 : window->PushButton11)->click();
            ++inputs;
        }
    }

    QCOMPARE(checkMarks(*window), marks);
    QCOMPARE(window->TextCheckApplied, flag);
    QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: %1").arg(rowCount));
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: %1").arg(marks.count(QLatin1Char('1'))));
    QCOMPARE(int(boxes->shown.size()), inputs);
    for (const RecordedBox &box : boxes->shown) {
        QCOMPARE(box.kind, RecordedBox::Input);
        QCOMPARE(box.text, QStringLiteral("Enter X:"));
        QCOMPARE(box.title, applicationTitle());
    }
}

// Rows: 1 accented sender and subject, 2 a subject with the Kelvin sign
// (lower case: k), 3 plain ASCII. X and the texts may each be ASCII or not.
void TestSelection::textsBeyondAscii_data()
{
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("marks");
    QTest::newRow("accented X, same case") << "für" << "100";
    QTest::newRow("accented X in capitals") << "FÜR" << "100";
    QTest::newRow("accented X in the sender") << "ZOË" << "100";
    QTest::newRow("ASCII X inside an accented text") << "RZ" << "100";
    QTest::newRow("ASCII X from a sign that lower-cases to ASCII") << "K-9" << "010";
    QTest::newRow("ASCII X, ASCII text") << "Plain" << "001";
    QTest::newRow("ASCII X in every row") << "2024" << "111";
    QTest::newRow("accented X in no row") << "é" << "000";
}

void TestSelection::textsBeyondAscii()
{
    QFETCH(QString, x);
    QFETCH(QString, marks);
    ScriptedBoxesScope boxes;
    auto window = loadedWindow();
    addMessage(*window, message(QStringLiteral("Zoë <zoe@example.org>"), QStringLiteral("Rechnung für März"),
                                QStringLiteral("2024-03-01")));
    addMessage(*window,
               message(QStringLiteral("Kennel"), QStringLiteral("\u212A-9 news"), QStringLiteral("2024-03-02")));
    addMessage(*window, message(QStringLiteral("Ann"), QStringLiteral("plain words"), QStringLiteral("2024-03-03")));
    boxes->inputs.push_back(x);
    window->PushButton9->click();
    QCOMPARE(checkMarks(*window), marks);
}

void TestSelection::emptyList_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("inputBoxes");
    QTest::newRow("Check All") << "PushButton4" << 0;
    QTest::newRow("Uncheck All") << "PushButton6" << 0;
    QTest::newRow("Check Emails Containing...") << "PushButton9" << 1;
    QTest::newRow("Check Emails Not Containing...") << "PushButton11" << 1;
}

void TestSelection::emptyList()
{
    QFETCH(QString, button);
    QFETCH(int, inputBoxes);
    ScriptedBoxesScope boxes;
    auto window = loadedWindow();
    window->Label1->clear();
    window->Label2->clear();
    window->findChild<QPushButton *>(button)->click();
    QCOMPARE(int(boxes->shown.size()), inputBoxes);
    QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 0"));
}

void TestSelection::userCheckRefreshesCounters()
{
    ScriptedBoxesScope boxes;
    auto window = loadedWindow();
    addRows(*window);
    MessageListModel *rows = window->ListView1->rows();
    QVERIFY(rows->setData(rows->index(3, 0), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: 5"));
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 1"));
    QVERIFY(rows->setData(rows->index(3, 0), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 0"));
    QVERIFY(!window->TextCheckApplied);
}

// A refresh lets events run while it counts; a click or "Clear List" handled
// then must leave counters that match the list once everything has finished.
void TestSelection::eventsDuringACount_data()
{
    QTest::addColumn<QString>("during");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("selected");
    QTest::newRow("a click") << "click" << "11011" << "5" << "4";
    QTest::newRow("two clicks") << "click click" << "11111" << "5" << "5";
    QTest::newRow("Clear List") << "clear" << "" << "0" << "0";
    QTest::newRow("a click, then Clear List") << "click clear" << "" << "0" << "0";
}

void TestSelection::eventsDuringACount()
{
    QFETCH(QString, during);
    QFETCH(QString, marks);
    QFETCH(QString, total);
    QFETCH(QString, selected);
    ScriptedBoxesScope boxes;
    auto window = loadedWindow();
    addRows(*window);
    // The user's clicks arrive through what the view shows, as a real click does.
    QAbstractItemModel *shown = window->ListView1->model();
    QTRY_COMPARE(shown->rowCount(), 5);
    for (const QString &event : during.split(QLatin1Char(' '))) {
        if (event == QLatin1String("click")) {
            QTimer::singleShot(0, window.get(), [shown] {
                const QModelIndex third = shown->index(2, 0);
                const bool checked = third.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                shown->setData(third, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            });
        } else {
            QTimer::singleShot(0, window->PushButton3, &QPushButton::click);
        }
    }

    window->PushButton4->click(); // "Check All", whose refresh lets the events run

    QCOMPARE(checkMarks(*window), marks);
    QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: ") + total);
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: ") + selected);
    QVERIFY(boxes->shown.empty());
}

void TestSelection::longListTools()
{
    ScriptedBoxesScope boxes;
    auto window = loadedWindow();
    addPlainRows(*window, 40000);

    window->PushButton4->click();
    QCOMPARE(window->ListView1->checkedCount(), 40000);
    QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: 40000"));
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 40000"));

    window->ListView1->setChecked(7, false);
    const QString before = checkMarks(*window);
    boxes->inputs.push_back(QStringLiteral("sender1"));
    window->PushButton9->click();

    QCOMPARE(int(boxes->shown.size()), 2);
    const RecordedBox &report = boxes->shown[0];
    QCOMPARE(report.title, QStringLiteral("Application Error"));
    QCOMPARE(report.icon, BoxIcon::Warning);
    QVERIFY2(report.text.contains(QStringLiteral("in Pellucid2021/08/31.Form1.PushButton9_Click at line 110")),
             qPrintable(report.text));
    QCOMPARE(boxes->shown[1].kind, RecordedBox::Input);
    QCOMPARE(boxes->shown[1].text, QStringLiteral("Enter X:"));
    QCOMPARE(checkMarks(*window), before);
    QVERIFY(!window->TextCheckApplied);
    QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: 40000"));
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 39999"));

    window->PushButton6->click();
    QCOMPARE(window->ListView1->checkedCount(), 0);
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 0"));

    // The largest list the text tools serve: one below the limit works.
    window->ListView1->removeAllRows();
    addPlainRows(*window, 32767);
    boxes->inputs.push_back(QStringLiteral("subject 32766"));
    window->PushButton9->click();
    QCOMPARE(window->ListView1->checkedCount(), 1);
    QVERIFY(window->ListView1->isChecked(32766));
}

void TestSelection::clearList_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("idle: rows removed") << false << 0;
    QTest::newRow("busy pointer: rows stay") << true << 3;
}

void TestSelection::clearList()
{
    QFETCH(bool, busy);
    QFETCH(int, rowsAfter);
    ScriptedBoxesScope boxes;
    auto window = loadedWindow();
    for (int i = 0; i < 3; ++i)
        addMessage(*window, message(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")));
    window->PushButton4->click();
    window->TextCheckApplied = true;
    window->setBusy(busy);

    window->PushButton3->click();

    QCOMPARE(window->ListView1->rowCount(), rowsAfter);
    QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
    QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 0"));
    QVERIFY(window->TextCheckApplied);
    QCOMPARE(window->MailRecords.places(), 3);
    QCOMPARE(window->isBusy(), busy);
    QVERIFY(boxes->shown.empty());
}

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
