#include "app/commandline.h"

#include <cstdio>

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Corvina saves the messages of a Gmail account as plain-text files.\n"
        "Without options it connects to imap.gmail.com on port 993 over TLS."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption serverOption(QStringLiteral("server"),
                                          QStringLiteral("Connect to <host[:port]> instead of imap.gmail.com:993."),
                                          QStringLiteral("host[:port]"));
    const QCommandLineOption caOption(QStringLiteral("ca-file"),
                                      QStringLiteral("Also trust the CA certificate in <file> (PEM)."),
                                      QStringLiteral("file"));
    parser.addOption(serverOption);
    parser.addOption(caOption);

    if (!parser.parse(arguments)) {
        print(stderr, parser.errorText() + QLatin1Char('\n'));
        result.exitNow = true;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(helpOption)) {
        print(stdout, parser.helpText());
        result.exitNow = true;
        return result;
    }
    if (parser.isSet(versionOption)) {
        print(stdout, QStringLiteral("Corvina %1\n").arg(QLatin1String(CORVINA_VERSION)));
        result.exitNow = true;
        return result;
    }
    if (parser.isSet(serverOption)) {
        const QString value = parser.value(serverOption);
        const int colon = value.lastIndexOf(QLatin1Char(':'));
        result.server.host = colon < 0 ? value : value.left(colon);
        if (colon >= 0) {
            bool ok = false;
            const int port = value.mid(colon + 1).toInt(&ok);
            if (!ok || port <= 0 || port > 65535 || result.server.host.isEmpty()) {
                print(stderr, QStringLiteral("Invalid --server value: %1\n").arg(value));
                result.exitNow = true;
                result.exitCode = 2;
                return result;
            }
            result.server.port = port;
        }
    }
    if (parser.isSet(caOption)) {
        result.server.caFile = QFileInfo(parser.value(caOption)).absoluteFilePath();
        if (!QFileInfo(result.server.caFile).isReadable()) {
            print(stderr, QStringLiteral("Cannot read the CA file %1\n").arg(result.server.caFile));
            result.exitNow = true;
            result.exitCode = 2;
        }
    }
    return result;
}
