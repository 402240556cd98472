#include "mainwindow/form1.h"

void Form1::PushButton10_Click() {}
void Form1::PushButton2_Click() {}
void Form1::oSession_MailExtractListing(const QString &, const QString &, const QString &, const QString &,
                                        const QString &, const QString &, const QString &, qint32)
{
}
void Form1::oSession_ScrapProgress(qint32) {}
void Form1::runListing(const std::shared_ptr<clsImapSession> &, const QString &) {}
