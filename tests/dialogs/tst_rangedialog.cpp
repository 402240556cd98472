#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/programstate.h"
#include "dialogs/form2.h"
#include "session/clsimapsession.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"

// The range dialog's Continue with the numbers people type.
class RangeDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporaryHome(); }

    void continueWith_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("message"); // "" when the range is accepted
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        const QString noFirst = QStringLiteral("Please input a value greater than zero.");
        const QString noLast =
            QStringLiteral("Please input max value greater than zero (0) and less than or equal to 120.");
        QTest::newRow("first 0") << "0" << "10" << noFirst << 0 << 0;
        QTest::newRow("first empty") << "" << "10" << noFirst << 0 << 0;
        QTest::newRow("first abc") << "abc" << "10" << noFirst << 0 << 0;
        QTest::newRow("first -5") << "-5" << "10" << noFirst << 0 << 0;
        QTest::newRow("last 0") << "1" << "0" << noLast << 0 << 0;
        QTest::newRow("last empty") << "1" << "" << noLast << 0 << 0;
        QTest::newRow("last abc") << "1" << "abc" << noLast << 0 << 0;
        QTest::newRow("last -5") << "1" << "-5" << noLast << 0 << 0;
        QTest::newRow("last exactly the maximum") << "1" << "120" << "" << 1 << 120;
        QTest::newRow("last one over the maximum") << "1" << "121" << noLast << 0 << 0;
        QTest::newRow("last 120.4 compared as typed") << "1" << "120.4" << noLast << 0 << 0;
        QTest::newRow("last 119.5 rounds to even 120") << "1" << "119.5" << "" << 1 << 120;
        QTest::newRow("last 118.5 rounds to even 118") << "1" << "118.5" << "" << 1 << 118;
        QTest::newRow("first after last") << "50" << "10" << "" << 50 << 10;
        QTest::newRow("first over the maximum") << "200" << "120" << "" << 200 << 120;
        QTest::newRow("huge first is clamped") << "1e300" << "5" << "" << 2147483647 << 5;
        QTest::newRow("huge last is over the maximum") << "1" << "1e300" << noLast << 0 << 0;
    }

    void continueWith()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, message);
        QFETCH(int, from);
        QFETCH(int, to);
        ScriptedBoxesScope boxes;
        resetProgramState();
        auto session = std::make_shared<clsImapSession>();
        Form2 dialog(nullptr);
        dialog.ImapSession = session;
        dialog.MaxMessage = 120;
        dialog.show();
        dialog.Text1_0->setText(first);
        dialog.Text1_1->setText(last);

        dialog.PushButton1->click();

        QCOMPARE(program().RangeAccepted, message.isEmpty());
        QCOMPARE(dialog.isVisible(), !message.isEmpty());
        if (message.isEmpty()) {
            QVERIFY(boxes->shown.empty());
            QCOMPARE(session->CurrentLocation, from);
            QCOMPARE(session->MaxRecord, to);
        } else {
            QCOMPARE(boxes->texts(), std::vector<QString>{message});
            QCOMPARE(dialog.Text1_0->text(), first); // left as typed
            QCOMPARE(dialog.Text1_1->text(), last);
        }
    }
};

QTEST_MAIN(RangeDialogTest)
#include "tst_rangedialog.moc"
