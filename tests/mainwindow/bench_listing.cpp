// Not a test: times Corvina listing a whole folder through the window, as a
// user does it: "1. Connect", the "All Mail" option, "2a. Get All Emails".
// Prints one line of key=value figures: the listing's wall time, messages per
// second, the peak resident memory of the process, and the size of the texts
// the records hold (UTF-16 and UTF-8), to weigh the memory against.
//
//   bench_listing HOST PORT CA_FILE USER PASSWORD [WINDOW [BATCH]]
#include <optional>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextStream>

#include "app/appearance.h"
#include "app/programstate.h"
#include "mainwindow/form1.h"
#include "mainwindow/messagelist.h"
#include "session/imapclient.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"

namespace {

// A line of /proc/self/status in KiB (VmHWM: peak, VmRSS: now).
qint64 statusKiB(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.size() < 6) {
        out << "usage: bench_listing HOST PORT CA_FILE USER PASSWORD [WINDOW [BATCH]]\n";
        return 2;
    }
    useTemporaryHome();
    setProgramEndHandler([] {});
    program().server.host = args[1];
    program().server.port = args[2].toInt();
    program().server.caFile = args[3];
    ScriptedBoxesScope boxes;

    Form1 window;
    window.Form_Load();
    ImapClientOptions options;
    options.extraCaFile = args[3];
    if (args.size() > 6)
        options.fetchWindow = args[6].toInt();
    if (args.size() > 7)
        options.fetchBatch = args[7].toInt();
    window.ImapComponent = createImapClient(options);
    window.Text1->setText(args[4]);
    window.Text2->setText(args[5]);
    window.PushButton5_Click();
    bool selected = false;
    for (int number = 3; number <= 10; ++number) {
        if (window.folderOption(number)->text() == QLatin1String("All Mail")) {
            window.folderOption(number)->click();
            selected = true;
        }
    }
    if (!selected || window.folderName() != QLatin1String("[Gmail]/All Mail")) {
        out << "not connected, or no All Mail folder; boxes shown: " << boxes->shown.size() << "\n";
        return 1;
    }
    boxes->shown.clear();
    const qint64 rssBefore = statusKiB("VmRSS");
    QElapsedTimer clock;
    clock.start();
    window.PushButton10_Click();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const int rows = window.ListView1->rowCount();
    if (boxes->texts() != std::vector<QString>{QStringLiteral("Done.")}) {
        out << "the listing did not end with Done.:";
        for (const QString &text : boxes->texts())
            out << " [" << text.left(120) << "]";
        out << "\n";
        return 1;
    }
    qint64 utf16 = 0;
    qint64 utf8 = 0;
    for (int row = 0; row < rows; ++row) {
        const std::optional<MailRecord> record = window.MailRecords.find(window.ListView1->recordOf(row));
        if (!record)
            continue;
        for (int field = 0; field < MailRecord::kTexts; ++field) {
            utf16 += record->text(field).size() * 2;
            utf8 += record->text(field).toUtf8().size();
        }
    }
    out << "rows=" << rows << " seconds=" << QString::number(seconds, 'f', 3)
        << " msgs_per_s=" << QString::number(rows / seconds, 'f', 0)
        << " peak_rss_mib=" << QString::number(statusKiB("VmHWM") / 1024.0, 'f', 1)
        << " rss_before_mib=" << QString::number(rssBefore / 1024.0, 'f', 1)
        << " text_utf16_mib=" << QString::number(utf16 / 1048576.0, 'f', 1)
        << " text_utf8_mib=" << QString::number(utf8 / 1048576.0, 'f', 1) << "\n";
    return 0;
}
