#include <QtTest>

#include "app/boxes.h"
#include "app/buildsettings.h"
#include "app/errortrap.h"
#include "tests/support/scriptedboxes.h"

class ErrorTrapTest : public QObject
{
    Q_OBJECT

private slots:
    void reportLayout()
    {
        ScriptedBoxesScope boxes;
        ErrorTrap trap("Form1", "PushButton7_Click");
        trap.run(146, [] { throw AppError(QStringLiteral("Permission denied")); });
        QCOMPARE(boxes->shown.size(), size_t(1));
        const RecordedBox &box = boxes->shown[0];
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QCOMPARE(box.icon, BoxIcon::Warning);
        QCOMPARE(box.buttons, BoxButtons::Ok);
        // The support sentence only when the build names an address (CORVINA_SUPPORT_ADDRESS).
        const QString address = QLatin1String(kSupportAddress);
        QCOMPARE(box.text, QStringLiteral("Permission denied\r\nin Pellucid2021/08/31.Form1.PushButton7_Click at line 146\r\r")
                     + (address.isEmpty() ? QString() : QStringLiteral("Please email screenshot of this message to ") + address));
        QVERIFY(!box.text.contains(QLatin1String(".example")));
    }

    void everyFailingStatementIsReportedAndTheProcedureGoesOn()
    {
        ScriptedBoxesScope boxes;
        ErrorTrap trap("Form2", "Form_Load");
        QStringList reached;
        trap.run(100, [&] { throw AppError(QStringLiteral("first")); });
        trap.run(102, [&] { reached << "102"; });
        trap.run(104, [&] { throw std::runtime_error("second"); });
        trap.run(106, [&] { reached << "106"; });
        QCOMPARE(reached, QStringList({"102", "106"}));
        QCOMPARE(boxes->shown.size(), size_t(2));
        QVERIFY(boxes->shown[0].text.startsWith("first\r\nin Pellucid2021/08/31.Form2.Form_Load at line 100\r\r"));
        QVERIFY(boxes->shown[1].text.startsWith("second\r\nin Pellucid2021/08/31.Form2.Form_Load at line 104\r\r"));
    }

    void failingConditionEntersItsBlock()
    {
        ScriptedBoxesScope boxes;
        ErrorTrap trap("Form1", "Form_Load");
        const bool entered = trap.test(194, []() -> bool { throw AppError(QStringLiteral("Type mismatch")); });
        QVERIFY(entered);
        QVERIFY(!trap.test(196, [] { return false; }));
        QCOMPARE(boxes->shown.size(), size_t(1));
        QVERIFY(boxes->shown[0].text.contains("at line 194"));
        QCOMPARE(trap.value(198, []() -> int { throw AppError(QStringLiteral("Overflow")); }, -1), -1);
        QCOMPARE(trap.StatementNumber(), 198);
    }

    void applicationTitle_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("title");
        QTest::newRow("one word is kept whole") << "Corvina" << "Corvina";
        QTest::newRow("three words lose the last") << "Corvina Mail Saver" << "Corvina Mail";
        QTest::newRow("long names lose words until 40") << "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota"
                                                        << "Alpha Beta Gamma Delta Epsilon Zeta Eta";
    }

    void applicationTitle()
    {
        QFETCH(QString, product);
        QFETCH(QString, title);
        QCOMPARE(shortenedProductName(product), title);
    }
};

QTEST_MAIN(ErrorTrapTest)
#include "tst_errortrap.moc"
