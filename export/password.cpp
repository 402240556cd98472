#include "export/password.h"

#include <csignal>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QProcess>

namespace {

// What a Ctrl-C during the prompt puts back before the program ends.
int g_promptTerminal = -1;
struct termios g_savedTerminal;

extern "C" void restoreTerminalAndExit(int)
{
    if (g_promptTerminal >= 0)
        tcsetattr(g_promptTerminal, TCSAFLUSH, &g_savedTerminal);
    _exit(130);
}

// One line from the terminal; nullopt-like "found" false when there is none.
bool readTerminalLine(const QString &prompt, bool echo, QString &line)
{
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (terminal < 0)
        return false;
    const QByteArray promptBytes = prompt.toLocal8Bit();
    if (::write(terminal, promptBytes.constData(), size_t(promptBytes.size())) < 0) {
        ::close(terminal);
        return false;
    }
    struct sigaction restore = {};
    struct sigaction oldInterrupt = {};
    struct termios saved;
    const bool hidden = !echo && tcgetattr(terminal, &saved) == 0;
    if (hidden) {
        g_savedTerminal = saved;
        g_promptTerminal = terminal;
        restore.sa_handler = restoreTerminalAndExit;
        sigaction(SIGINT, &restore, &oldInterrupt);
        struct termios quiet = saved;
        quiet.c_lflag &= tcflag_t(~ECHO);
        tcsetattr(terminal, TCSAFLUSH, &quiet);
    }
    QByteArray bytes;
    char c = 0;
    bool ended = false;
    while (::read(terminal, &c, 1) == 1) {
        if (c == '\n') {
            ended = true;
            break;
        }
        bytes.append(c);
    }
    if (hidden) {
        tcsetattr(terminal, TCSAFLUSH, &saved);
        sigaction(SIGINT, &oldInterrupt, nullptr);
        g_promptTerminal = -1;
        if (::write(terminal, "\n", 1) < 0) {
            // The line was read; a lost newline on the terminal changes nothing.
        }
    }
    ::close(terminal);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    line = QString::fromLocal8Bit(bytes);
    return ended;
}

PasswordReading fromCommand(const QString &command)
{
    PasswordReading reading;
    QProcess process;
    // Its questions (a pinentry, gpg's notes) reach the user; only its output is read.
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit) {
        reading.error = QStringLiteral("The password command did not run: %1").arg(process.errorString());
        return reading;
    }
    if (process.exitCode() != 0) {
        reading.error = QStringLiteral("The password command ended with status %1.").arg(process.exitCode());
        return reading;
    }
    QByteArray line = process.readAllStandardOutput();
    line.truncate(line.indexOf('\n') < 0 ? line.size() : line.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) {
        reading.error = QStringLiteral("The password command printed no password.");
        return reading;
    }
    reading.found = true;
    reading.password = QString::fromUtf8(line);
    return reading;
}

} // namespace

PasswordReading readPassword(const QString &command, const QString &user)
{
    if (!command.isEmpty())
        return fromCommand(command);
    PasswordReading reading;
    if (qEnvironmentVariableIsSet(kPasswordVariable)) {
        reading.found = true;
        reading.password = qEnvironmentVariable(kPasswordVariable);
        // Nothing this program starts needs it.
        qunsetenv(kPasswordVariable);
        return reading;
    }
    reading.found = readTerminalLine(QStringLiteral("Password for %1: ").arg(user), false, reading.password);
    if (!reading.found)
        reading.error = QStringLiteral("No password: set %1, give --password-command, or run on a terminal.")
                            .arg(QLatin1String(kPasswordVariable));
    return reading;
}

bool askOnTerminal(const QString &question)
{
    QString answer;
    if (!readTerminalLine(question, true, answer))
        return false;
    answer = answer.trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}
