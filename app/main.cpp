#include <QApplication>
#include <QIcon>

#include "app/commandline.h"
#include "app/programstate.h"
#include "mainwindow/form1.h"

int main(int argc, char *argv[])
{
    // --help and --version answer without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.exitNow)
        return commandLine.exitCode;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvina"));
    QApplication::setOrganizationName(QStringLiteral("Brackwater"));
    QApplication::setApplicationVersion(QStringLiteral(CORVINA_VERSION));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("mail-message")));
    program().server = commandLine.server;

    Form1 window;
    window.Form_Load();
    window.show();
    return application.exec();
}
