#include <QSignalSpy>
#include <QtTest>

#include "app/errortrap.h"
#include "mainwindow/mailrecord.h"
#include "mainwindow/messagelist.h"

namespace {

// A list with the six columns, as the windows prepare theirs.
std::unique_ptr<MessageList> newList()
{
    auto list = std::make_unique<MessageList>();
    for (const char *header : {"From", "From Name", "From Address", "Subject", "Received Date", "RecDate"})
        list->addColumn(QLatin1String(header));
    return list;
}

// Adds a row the way the listing handler does: item text first, the sort key last.
int addListed(MessageList &list, const QString &from, const QString &key)
{
    MessageRow row;
    row.setText(0, from);
    const int position = list.addRow(std::move(row));
    list.setRecordOf(position, list.rowCount());
    list.setText(position, 5, key);
    return position;
}

QStringList listOrder(const MessageList &list)
{
    QStringList texts;
    for (int position = 0; position < list.rowCount(); ++position)
        texts << list.text(position, 0);
    return texts;
}

// What the tree view is shown, top to bottom.
QStringList viewOrder(const MessageList &list)
{
    QStringList texts;
    const QAbstractItemModel *shown = list.model();
    for (int row = 0; row < shown->rowCount(); ++row)
        texts << shown->index(row, 0).data().toString();
    return texts;
}

} // namespace

class MessageListTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsTakeTheirPlaces_data();
    void rowsTakeTheirPlaces();
    void userClickWhileRowsAreOnTheirWay();
    void marksReachTheViewAtOnce();
    void currentRowFollowsItsRow();
    void clearingWhileRowsAreOnTheirWay();
    void listFilledBeforeShownShowsEveryRow();
    void recordsKeepTheirTexts();
};

// Keys are added in this order, each row named after its key and arrival.
void MessageListTest::rowsTakeTheirPlaces_data()
{
    QTest::addColumn<QString>("sorting"); // "off", "during" (and after) or "after" the listing
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("sorting off: arrival order") << "off" << QStringList{"3", "1", "2"}
                                                << QStringList{"3#0", "1#1", "2#2"};
    QTest::newRow("sorted inserts: newest first") << "during" << QStringList{"44000", "45000", "44500", "43000"}
                                                  << QStringList{"45000#1", "44500#2", "44000#0", "43000#3"};
    QTest::newRow("sorted inserts: equal keys keep arrival order")
        << "during" << QStringList{"5", "5", "7", "5", "7"} << QStringList{"7#2", "7#4", "5#0", "5#1", "5#3"};
    QTest::newRow("sorted inserts: no key sorts last") << "during" << QStringList{"", "4", "", "9"}
                                                       << QStringList{"9#3", "4#1", "#0", "#2"};
    QTest::newRow("sort after listing: stable, records follow")
        << "after" << QStringList{"2", "1", "2", "1", "3"} << QStringList{"3#4", "2#0", "2#2", "1#1", "1#3"};
}

void MessageListTest::rowsTakeTheirPlaces()
{
    QFETCH(QString, sorting);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, order);

    auto list = newList();
    if (sorting == QLatin1String("during"))
        list->sortByDateDescending();
    for (int i = 0; i < keys.size(); ++i)
        addListed(*list, keys[i] + QLatin1Char('#') + QString::number(i), keys[i]);
    if (sorting != QLatin1String("off"))
        list->sortByDateDescending();

    QCOMPARE(listOrder(*list), order);
    for (int position = 0; position < list->rowCount(); ++position) {
        const int arrival = list->text(position, 0).section(QLatin1Char('#'), 1).toInt();
        QCOMPARE(list->recordOf(position), arrival + 1);
    }
    QTRY_COMPARE(viewOrder(*list), order);
}

// A click lands on the row the user sees, even when rows that sort above it
// have been added since the view last took them.
void MessageListTest::userClickWhileRowsAreOnTheirWay()
{
    auto list = newList();
    list->sortByDateDescending();
    addListed(*list, QStringLiteral("older"), QStringLiteral("44000"));
    addListed(*list, QStringLiteral("oldest"), QStringLiteral("43000"));
    QTRY_COMPARE(viewOrder(*list), (QStringList{"older", "oldest"}));

    addListed(*list, QStringLiteral("newest"), QStringLiteral("45000"));
    QCOMPARE(listOrder(*list), (QStringList{"newest", "older", "oldest"}));
    QSignalSpy toggled(list.get(), &MessageList::ItemCheck);
    QAbstractItemModel *shown = list->model();
    QCOMPARE(shown->index(0, 0).data().toString(), QStringLiteral("older"));
    QVERIFY(shown->setData(shown->index(0, 0), Qt::Checked, Qt::CheckStateRole));

    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.at(0).at(0).toInt(), 1);
    QVERIFY(list->isChecked(1));
    QVERIFY(!list->isChecked(0));
    QCOMPARE(list->checkedCount(), 1);
    QTRY_COMPARE(viewOrder(*list), (QStringList{"newest", "older", "oldest"}));
    QCOMPARE(shown->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(shown->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
}

void MessageListTest::marksReachTheViewAtOnce()
{
    auto list = newList();
    list->sortByDateDescending();
    addListed(*list, QStringLiteral("a"), QStringLiteral("2"));
    addListed(*list, QStringLiteral("b"), QStringLiteral("1"));
    QTRY_COMPARE(viewOrder(*list), (QStringList{"a", "b"}));
    addListed(*list, QStringLiteral("c"), QStringLiteral("3")); // shown later, above both

    QAbstractItemModel *shown = list->model();
    QSignalSpy changed(shown, &QAbstractItemModel::dataChanged);
    list->setChecked(2, true); // "b", below the new row
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 1);
    QCOMPARE(shown->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));

    list->setChecked(0, true); // the new row: nothing to show yet
    QCOMPARE(changed.count(), 1);
    list->setAllChecked(false);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(shown->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(list->checkedCount(), 0);
    QTRY_COMPARE(viewOrder(*list), (QStringList{"c", "a", "b"}));
    QCOMPARE(shown->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
}

void MessageListTest::currentRowFollowsItsRow()
{
    auto list = newList();
    list->sortByDateDescending();
    addListed(*list, QStringLiteral("picked"), QStringLiteral("40"));
    addListed(*list, QStringLiteral("other"), QStringLiteral("20"));
    QTRY_COMPARE(viewOrder(*list), (QStringList{"picked", "other"}));
    list->setCurrentIndex(list->model()->index(0, 0));

    for (int key = 41; key <= 43; ++key)
        addListed(*list, QStringLiteral("new %1").arg(key), QString::number(key));
    QTRY_COMPARE(list->model()->rowCount(), 5);

    QCOMPARE(list->currentIndex().row(), 3);
    QCOMPARE(list->currentIndex().data().toString(), QStringLiteral("picked"));
}

void MessageListTest::clearingWhileRowsAreOnTheirWay()
{
    auto list = newList();
    list->sortByDateDescending();
    addListed(*list, QStringLiteral("a"), QStringLiteral("1"));
    addListed(*list, QStringLiteral("b"), QStringLiteral("2"));
    list->removeAllRows();
    QCOMPARE(list->model()->rowCount(), 0);
    addListed(*list, QStringLiteral("c"), QStringLiteral("3"));
    QTRY_COMPARE(viewOrder(*list), QStringList{"c"});
    QCOMPARE(list->recordOf(0), 1);
}

// The larger view fills its list and then opens: no row may be missing then.
void MessageListTest::listFilledBeforeShownShowsEveryRow()
{
    auto list = newList();
    for (int i = 0; i < 3; ++i)
        addListed(*list, QString::number(i), QString());
    QCOMPARE(list->model()->rowCount(), 0);
    list->show();
    QCOMPARE(viewOrder(*list), (QStringList{"0", "1", "2"}));
}

void MessageListTest::recordsKeepTheirTexts()
{
    MailRecordStore store;
    store.recreate(2);
    MailRecord record;
    record.From = QStringLiteral("Zoë Ångström <zoe@example.org>");
    record.Subject = QStringLiteral("Rechnung für März 💶");
    record.ReceivedDate = QStringLiteral("2024-03-01 09:15:00");
    record.PlainTextBody = QStringLiteral("Line one\r\nお知らせ\r\n");
    store.set(2, record);
    store.setText(3, 6, QStringLiteral("<p>grown</p>").toUtf8());

    const std::optional<MailRecord> read = store.find(2);
    QVERIFY(read);
    for (int field = 0; field < MailRecord::kTexts; ++field)
        QCOMPARE(read->text(field), record.text(field));
    QCOMPARE(store.places(), 3);
    QCOMPARE(store.find(3)->HTMLTextBody, QStringLiteral("<p>grown</p>"));
    QVERIFY(store.find(1)->From.isEmpty());
    QVERIFY(!store.find(0));
    QVERIFY(!store.find(4));
    QVERIFY_THROWS_EXCEPTION(AppError, store.setText(0, 0, QByteArray("x")));
}

QTEST_MAIN(MessageListTest)
#include "tst_messagelist.moc"
