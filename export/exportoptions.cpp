#include "export/exportoptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include "app/commandline.h"

namespace {

const char kDescription[] =
    "Exports messages of a Gmail account to plain-text files without a window,\n"
    "byte for byte as the window saves them: one file per message, named from a\n"
    "counter, today's date and the subject, newest first, or all in Emails.txt.\n"
    "\n"
    "The password never goes on the command line. It is read from the first\n"
    "line that --password-command prints, else from the variable\n"
    "CORVINA_PASSWORD, else asked on the terminal without echo.\n"
    "\n"
    "Before downloading, the sizes of the range are asked in one command; above\n"
    "Gmail's daily IMAP download limit (2,500 MB) the export asks on the\n"
    "terminal before it goes on (--accept-large answers yes; without a terminal\n"
    "and without it the export stops).\n"
    "\n"
    "Exit status: 0 every message of the range listed and every match saved;\n"
    "1 another failure; 2 wrong arguments or no password; 3 no connection;\n"
    "4 login refused; 5 mailbox not found; 6 some messages not listed;\n"
    "7 some files not written; 8 declined at the size warning; 130 interrupted\n"
    "(Ctrl-C ends after the current message; written files stay whole).\n"
    "When several apply, 130 comes first, then 7, then 6.\n"
    "\n"
    "Examples:\n"
    "  corvina export --user me@gmail.com --folder \"All Mail\" --out ~/mail\n"
    "  corvina export --user me@gmail.com --mailbox Work/Projects --range 1:200 \\\n"
    "      --filter invoice --one-file --out ~/invoices \\\n"
    "      --password-command \"secret-tool lookup corvina me@gmail.com\"";

// "N:M" or "N-M", both whole numbers from 1, N <= M.
bool readRange(const QString &text, qint64 &first, qint64 &last)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*(\\d{1,10})\\s*[:-]\\s*(\\d{1,10})\\s*$"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch())
        return false;
    first = match.captured(1).toLongLong();
    last = match.captured(2).toLongLong();
    return first >= 1 && first <= last;
}

} // namespace

ExportCommandLine parseExportCommandLine(const QStringList &arguments)
{
    ExportCommandLine result;
    ExportOptions &options = result.options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(kDescription));
    parser.addPositionalArgument(QStringLiteral("export"), QStringLiteral("Export from the command line."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const ServerOptions serverOptions;
    addServerOptions(parser, serverOptions);
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The account's user name."),
                                  QStringLiteral("name"));
    const QCommandLineOption passwordCommand(
        QStringLiteral("password-command"),
        QStringLiteral("Run <command> (with /bin/sh); its first output line is the password."),
        QStringLiteral("command"));
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QStringLiteral("A system folder by its caption: Inbox, All Mail, Drafts, Sent Mail, Spam, Starred, Trash, "
                       "Important (or the caption the account gives it)."),
        QStringLiteral("caption"));
    const QCommandLineOption mailbox(QStringLiteral("mailbox"),
                                     QStringLiteral("A label or any mailbox by its full name, e.g. Work/Projects."),
                                     QStringLiteral("name"));
    const QCommandLineOption range(QStringLiteral("range"),
                                   QStringLiteral("Only messages <first>:<last> (positions from 1; a last beyond "
                                                  "the mailbox is cut to its last message)."),
                                   QStringLiteral("first:last"));
    const QCommandLineOption filter(QStringLiteral("filter"),
                                    QStringLiteral("Only messages containing <text>, by the listing's rule: in From, "
                                                   "sender name or address (exact case), subject (any case), date, "
                                                   "or plain-text body (exact case)."),
                                    QStringLiteral("text"));
    const QCommandLineOption oneFile(QStringLiteral("one-file"),
                                     QStringLiteral("All messages in <out>/Emails.txt instead of one file each."));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("The folder the files go to (made when missing)."),
                                 QStringLiteral("folder"));
    const QCommandLineOption acceptLarge(QStringLiteral("accept-large"),
                                         QStringLiteral("Go on without asking when the range passes 2,500 MB."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress and no notes; errors and the summary line only."));
    for (const QCommandLineOption *option :
         {&user, &passwordCommand, &folder, &mailbox, &range, &filter, &oneFile, &out, &acceptLarge, &quiet})
        parser.addOption(*option);

    const auto fail = [&](const QString &text) {
        printText(stderr, text + QStringLiteral("\nSee: corvina export --help\n"));
        result.exitNow = true;
        result.exitCode = ExportUsage;
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(helpOption)) {
        printText(stdout, parser.helpText());
        result.exitNow = true;
        return result;
    }
    if (parser.positionalArguments() != QStringList{QStringLiteral("export")})
        return fail(QStringLiteral("Unexpected arguments: %1").arg(parser.positionalArguments().mid(1).join(' ')));
    const QString serverError = readServerOptions(parser, serverOptions, options.server);
    if (!serverError.isEmpty())
        return fail(serverError);
    options.user = parser.value(user);
    options.passwordCommand = parser.value(passwordCommand);
    options.folderCaption = parser.value(folder);
    options.mailbox = parser.value(mailbox);
    options.filter = parser.value(filter);
    options.oneFile = parser.isSet(oneFile);
    options.outFolder = parser.value(out);
    options.acceptLarge = parser.isSet(acceptLarge);
    options.quiet = parser.isSet(quiet);
    if (options.user.isEmpty())
        return fail(QStringLiteral("--user is missing."));
    if (parser.isSet(folder) == parser.isSet(mailbox))
        return fail(QStringLiteral("Give one of --folder and --mailbox."));
    if ((parser.isSet(folder) && options.folderCaption.isEmpty()) || (parser.isSet(mailbox) && options.mailbox.isEmpty()))
        return fail(QStringLiteral("The folder or mailbox name is empty."));
    if (options.outFolder.isEmpty())
        return fail(QStringLiteral("--out is missing."));
    if (parser.isSet(filter) && options.filter.isEmpty())
        return fail(QStringLiteral("--filter needs a text."));
    if (parser.isSet(range)) {
        options.hasRange = true;
        if (!readRange(parser.value(range), options.first, options.last))
            return fail(QStringLiteral("Invalid --range %1: give first:last, whole numbers from 1, first <= last.")
                            .arg(parser.value(range)));
    }
    return result;
}
