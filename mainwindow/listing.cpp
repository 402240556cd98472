#include "mainwindow/form1.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

#include "app/boxes.h"
#include "app/errortrap.h"
#include "app/programstate.h"
#include "mainwindow/listingrules.h"
#include "mainwindow/messagelist.h"
#include "mainwindow/progressdisplay.h"
#include "dialogs/form2.h"
#include "session/clsimapsession.h"

namespace {

const char kNotConnected[] = "Please connect first (Step 1) before using this feature.";
const char kNoEmails[] = "There are no emails in the Folder you selected.";

// A listing that could not list every message of its range says so instead
// of "Done.": how many of how many, and why the first could not. True when shown.
bool reportShortfall(const clsImapSession *session)
{
    if (!session || session->listingOutcome().notListed == 0)
        return false;
    const ListingOutcome &outcome = session->listingOutcome();
    boxes().message(applicationTitle(),
                    QStringLiteral("%1 of %2 messages were listed; %3 could not be listed.\r\n\r\n%4")
                        .arg(outcome.listed)
                        .arg(outcome.wanted)
                        .arg(outcome.notListed)
                        .arg(outcome.firstFailure),
                    BoxIcon::Warning, BoxButtons::Ok);
    return true;
}

} // namespace

// "2a. Get All Emails" / "Stop"
void Form1::PushButton10_Click()
{
    ErrorTrap trap("Form1", "PushButton10_Click");
    if (trap.test(100, [&] { return PushButton5->text() == QLatin1String("1. Connect"); })) {
        trap.run(102, [&] { showMessage(QLatin1String(kNotConnected)); });
    } else if (trap.test(104, [&] { return PushButton10->text() == QLatin1String("Stop"); })) {
        trap.run(224, [&] { PushButton10->setText(program().SavedCaption); });
        trap.run(226, [&] { PushButton2->setText(QStringLiteral("2b. Get Some Emails")); });
        trap.run(228, [&] { PushButton10->setFixedWidth(twips(3840)); });
        trap.run(230, [&] { PushButton2->show(); });
        trap.run(234, [&] {
            if (oSession)
                oSession->AbortProcess = true;
        });
        trap.run(236, [&] { oSession.reset(); });
    } else {
        trap.run(106, [&] { setBusy(true); });
        trap.run(108, [&] { PushButton2->setText(QStringLiteral("Stop")); });
        trap.run(110, [&] { program().SavedCaption = PushButton10->text(); });
        trap.run(112, [&] { PushButton10->setText(QStringLiteral("Stop")); });
        trap.run(114, [&] { PushButton10->setFixedWidth(twips(7800)); });
        trap.run(116, [&] { PushButton2->hide(); });
        QString folder;
        trap.run(120, [&] { folder = folderName(); });
        trap.run(156, [&] { ListView1->removeAllRows(); });
        // A new listing starts the check-by-text tools afresh.
        TextCheckApplied = false;
        trap.run(158, [&] { ListView1->setSortingOff(); });
        trap.run(160, [&] { UpdateCounters(true); });
        // Held here for the whole command: a Stop click drops oSession meanwhile.
        std::shared_ptr<clsImapSession> session = oSession;
        bool connected = true;
        if (trap.test(164, [&] { return !oSession; })) {
            trap.run(166, [&] {
                session = newSession();
                oSession = session;
            });
            trap.run(180, [&] { program().SkipDoneMessage = false; });
            if (!trap.value(182, [&] { return session && session->Connect(); }, false)) {
                trap.run(184, [&] { program().SkipDoneMessage = true; });
                connected = false;
            }
        }
        // A Stop during the command's own Connect dropped the session: nothing to list.
        if (connected && trap.test(188, [&] { return oSession != nullptr; })) {
            trap.run(190, [&] { session->CurrentLocation = 1; });
            trap.run(192, [&] { session->MaxRecord = session->GetTotalMessage(folder); });
            if (trap.test(194, [&] { return session->MaxRecord > 0; })) {
                trap.run(196, [&] { MailRecords.recreate(session->MaxRecord); });
                trap.run(198, [&] { runListing(session, folder); });
            } else {
                trap.run(200, [&] { showMessage(QLatin1String(kNoEmails)); });
                trap.run(202, [&] { program().SkipDoneMessage = true; });
            }
            trap.run(204, [&] { UpdateCounters(false); });
        }
        trap.run(206, [&] { oSession.reset(); });
        trap.run(212, [&] { setBusy(false); });
        trap.run(210, [&] { ProgressBar1->setValue(0); });
        trap.run(208, [&] { setStatusLine(QStringLiteral("Progress Bar")); });
        trap.run(214, [&] { PushButton10->setText(program().SavedCaption); });
        trap.run(216, [&] { PushButton2->setText(QStringLiteral("2b. Get Some Emails")); });
        trap.run(218, [&] { PushButton10->setFixedWidth(twips(3840)); });
        trap.run(220, [&] { PushButton2->show(); });
        const bool fellShort = trap.value(222, [&] { return reportShortfall(session.get()); }, false);
        if (!fellShort && trap.test(222, [&] { return !program().SkipDoneMessage; }))
            showMessage(QStringLiteral("Done."));
    }
    trap.run(238, [&] { SortListByDate(); });
}

// "2b. Get Some Emails" / "Stop"
void Form1::PushButton2_Click()
{
    ErrorTrap trap("Form1", "PushButton2_Click");
    if (trap.test(100, [&] { return PushButton5->text() == QLatin1String("1. Connect"); })) {
        trap.run(102, [&] { showMessage(QLatin1String(kNotConnected)); });
    } else if (trap.test(104, [&] { return PushButton2->text() == QLatin1String("Stop"); })) {
        trap.run(230, [&] { PushButton2->setText(program().SavedCaption); });
        trap.run(232, [&] { PushButton10->setText(QStringLiteral("2a. Get All Emails")); });
        trap.run(234, [&] { PushButton10->setFixedWidth(twips(3840)); });
        trap.run(236, [&] { PushButton2->show(); });
        trap.run(240, [&] {
            if (oSession)
                oSession->AbortProcess = true;
        });
        trap.run(242, [&] { oSession.reset(); });
    } else {
        trap.run(106, [&] { setBusy(true); });
        trap.run(108, [&] { PushButton10->setText(QStringLiteral("Stop")); });
        trap.run(110, [&] { program().SavedCaption = PushButton2->text(); });
        trap.run(112, [&] { PushButton2->setText(QStringLiteral("Stop")); });
        trap.run(114, [&] { PushButton10->setFixedWidth(twips(7800)); });
        trap.run(116, [&] { PushButton2->hide(); });
        QString folder;
        trap.run(120, [&] { folder = folderName(); });
        trap.run(156, [&] {
            ListView1->removeAllRows();
            UpdateCounters(true);
        });
        TextCheckApplied = false;
        std::shared_ptr<clsImapSession> session = oSession;
        bool connected = true;
        if (trap.test(158, [&] { return !oSession; })) {
            trap.run(160, [&] {
                session = newSession();
                oSession = session;
            });
            trap.run(174, [&] { program().SkipDoneMessage = false; });
            if (!trap.value(176, [&] { return session && session->Connect(); }, false)) {
                trap.run(178, [&] { program().SkipDoneMessage = true; });
                connected = false;
            }
        }
        if (connected && trap.test(182, [&] { return oSession != nullptr; })) {
            qint32 maxMessage = 0;
            trap.run(186, [&] { maxMessage = session->GetTotalMessage(folder); });
            if (trap.test(188, [&] { return session->GetTotalMessage(folder) > 0; })) {
                bool accepted = false;
                trap.run(190, [&] { accepted = askRange(session, maxMessage); });
                if (!trap.test(192, [&] { return !accepted; })) {
                    trap.run(194, [&] { ListView1->removeAllRows(); });
                    trap.run(196, [&] { UpdateCounters(true); });
                    trap.run(198, [&] { program().SkipDoneMessage = false; });
                    trap.run(200, [&] { MailRecords.recreate(session->MaxRecord); });
                    trap.run(202, [&] { runListing(session, folder); });
                    trap.run(208, [&] { UpdateCounters(false); });
                }
            } else {
                trap.run(204, [&] { showMessage(QLatin1String(kNoEmails)); });
                trap.run(206, [&] { program().SkipDoneMessage = true; });
                trap.run(208, [&] { UpdateCounters(false); });
            }
        }
        trap.run(212, [&] { oSession.reset(); });
        trap.run(218, [&] { setBusy(false); });
        trap.run(216, [&] { ProgressBar1->setValue(0); });
        trap.run(214, [&] { setStatusLine(QStringLiteral("Progress Bar")); });
        trap.run(220, [&] { PushButton2->setText(program().SavedCaption); });
        trap.run(222, [&] { PushButton10->setText(QStringLiteral("2a. Get All Emails")); });
        trap.run(224, [&] { PushButton10->setFixedWidth(twips(3840)); });
        trap.run(226, [&] { PushButton2->show(); });
        const bool fellShort = trap.value(228, [&] { return reportShortfall(session.get()); }, false);
        if (!fellShort && trap.test(228, [&] { return !program().SkipDoneMessage; }))
            showMessage(QStringLiteral("Done."));
    }
    trap.run(244, [&] { SortListByDate(); });
}

void Form1::runListing(const std::shared_ptr<clsImapSession> &session, const QString &folder)
{
    connect(session.get(), &clsImapSession::MailExtractListing, this, &Form1::oSession_MailExtractListing,
            Qt::UniqueConnection);
    connect(session.get(), &clsImapSession::ScrapProgress, this, &Form1::oSession_ScrapProgress,
            Qt::UniqueConnection);
    // Whatever ends the listing, nothing painted later may overwrite what the command shows next.
    const auto showRest = qScopeGuard([this] { showPendingProgress(); });
    session->StartMailExtraction(folder);
}

// One listed message arrives: filter it, then add its row and record.
void Form1::oSession_MailExtractListing(const QString &From, const QString &FromName, const QString &FromAddress,
                                        const QString &Subject, const QString &ReceivedDate,
                                        const QString &PlainTextBody, const QString &HTMLTextBody, qint32)
{
    ErrorTrap trap("Form1", "oSession_MailExtractListing");
    int first = 0;
    if (trap.test(100, [&] { return CharactersFilter.isEmpty(); }))
        first = 132;
    else if (trap.test(102, [&] {
                 return passesCharacterFilter(CharactersFilter, From, FromName, FromAddress, Subject, ReceivedDate,
                                              PlainTextBody);
             }))
        first = 104;
    if (first) {
        // Each text is encoded once; the row and the record then share its bytes.
        const QString *const texts[] = {&From, &FromName, &FromAddress, &Subject, &ReceivedDate, &PlainTextBody,
                                        &HTMLTextBody};
        QByteArray utf8[MailRecord::kTexts];
        int position = -1;
        int place = 0;
        trap.run(first + 2, [&] {
            utf8[0] = compactUtf8(From);
            MessageRow row;
            row.texts[0] = utf8[0];
            position = ListView1->addRow(std::move(row));
            place = ListView1->rowCount();
            ListView1->setRecordOf(position, place);
        });
        for (int i = 0; i < MailRecord::kTexts; ++i) {
            trap.run(first + 4 + 2 * i, [&] {
                if (i > 0)
                    utf8[i] = compactUtf8(*texts[i]);
                MailRecords.setText(place, i, utf8[i]);
            });
        }
        for (int column = 1; column <= 4; ++column)
            trap.run(first + 16 + 2 * column, [&] { ListView1->setText(position, column, utf8[column]); });
        trap.run(first + 26, [&] { ListView1->setText(position, 5, recDateKey(ReceivedDate).toLatin1()); });
    }
    trap.run(160, [&] { QCoreApplication::processEvents(); });
}

// Progress of the message being fetched.
void Form1::oSession_ScrapProgress(qint32 percent)
{
    auto *session = qobject_cast<clsImapSession *>(sender());
    m_progress->show(qBound(0, int(percent), 100),
                     session ? QStringLiteral("Reading mail %1 of %2").arg(session->CurrentLocation).arg(session->MaxRecord)
                             : statusLine());
    QCoreApplication::processEvents();
}

bool Form1::askRange(const std::shared_ptr<clsImapSession> &session, qint32 maxMessage)
{
    Form2 dialog(this);
    dialog.ImapSession = session;
    dialog.MaxMessage = maxMessage;
    dialog.exec();
    return program().RangeAccepted;
}
