#include "tests/mainwindow/windowfixture.h"

#include "mainwindow/messagelist.h"

std::unique_ptr<Form1> loadedWindow()
{
    auto window = std::make_unique<Form1>();
    window->Form_Load();
    return window;
}

int addMessage(Form1 &window, const MailRecord &record, const QString &recDate)
{
    const int place = window.MailRecords.places() + 1;
    window.MailRecords.set(place, record);
    MessageRow row;
    row.setTexts({record.From, record.FromName, record.FromAddress, record.Subject, record.ReceivedDate, recDate});
    row.record = place;
    return window.ListView1->addRow(std::move(row));
}

QString checkMarks(const Form1 &window)
{
    QString marks;
    for (int position = 0; position < window.ListView1->rowCount(); ++position)
        marks += window.ListView1->isChecked(position) ? QLatin1Char('1') : QLatin1Char('0');
    return marks;
}
