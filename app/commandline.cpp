#include "app/commandline.h"

#include <cstdio>

#include <QCommandLineParser>
#include <QFileInfo>

ServerOptions::ServerOptions()
    : server(QStringLiteral("server"), QStringLiteral("Connect to <host[:port]> instead of imap.gmail.com:993."),
             QStringLiteral("host[:port]"))
    , caFile(QStringLiteral("ca-file"), QStringLiteral("Also trust the CA certificate in <file> (PEM)."),
             QStringLiteral("file"))
{
}

void addServerOptions(QCommandLineParser &parser, const ServerOptions &options)
{
    parser.addOption(options.server);
    parser.addOption(options.caFile);
}

QString readServerOptions(const QCommandLineParser &parser, const ServerOptions &options, MailServer &server)
{
    if (parser.isSet(options.server)) {
        const QString value = parser.value(options.server);
        const int colon = value.lastIndexOf(QLatin1Char(':'));
        server.host = colon < 0 ? value : value.left(colon);
        if (colon >= 0) {
            bool ok = false;
            const int port = value.mid(colon + 1).toInt(&ok);
            if (!ok || port <= 0 || port > 65535 || server.host.isEmpty())
                return QStringLiteral("Invalid --server value: %1").arg(value);
            server.port = port;
        }
    }
    if (parser.isSet(options.caFile)) {
        server.caFile = QFileInfo(parser.value(options.caFile)).absoluteFilePath();
        if (!QFileInfo(server.caFile).isReadable())
            return QStringLiteral("Cannot read the CA file %1").arg(server.caFile);
    }
    return QString();
}

void printText(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Corvina saves the messages of a Gmail account as plain-text files.\n"
        "Without options it connects to imap.gmail.com on port 993 over TLS.\n"
        "\"corvina export --help\" tells how to export from the command line, without a window."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const ServerOptions serverOptions;
    addServerOptions(parser, serverOptions);

    if (!parser.parse(arguments)) {
        printText(stderr, parser.errorText() + QLatin1Char('\n'));
        result.exitNow = true;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(helpOption)) {
        printText(stdout, parser.helpText());
        result.exitNow = true;
        return result;
    }
    if (parser.isSet(versionOption)) {
        printText(stdout, QStringLiteral("Corvina %1\n").arg(QLatin1String(CORVINA_VERSION)));
        result.exitNow = true;
        return result;
    }
    const QString error = readServerOptions(parser, serverOptions, result.server);
    if (!error.isEmpty()) {
        printText(stderr, error + QLatin1Char('\n'));
        result.exitNow = true;
        result.exitCode = 2;
    }
    return result;
}
