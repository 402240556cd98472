#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

#include <malloc.h>

#include "app/commandline.h"
#include "app/programstate.h"
#include "export/exportrun.h"
#include "mainwindow/form1.h"

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Corvina"));
    QCoreApplication::setOrganizationName(QStringLiteral("Brackwater"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVINA_VERSION));
}

} // namespace

int main(int argc, char *argv[])
{
    // Large buffers (big texts, socket and framing buffers) come and go while
    // a folder is listed. Left to glibc, the first one freed raises the mmap
    // threshold and the rest are carved from heaps that keep their pages long
    // after they are freed; mapped on their own, each goes back to the system
    // when freed. Below 1 MiB, and for heaps trimmed in small steps, mapping
    // and faulting pages in again cost more time than the memory is worth.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
    // --help and --version answer without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // The export needs no display: a core application, no window system.
    if (arguments.size() > 1 && arguments[1] == QLatin1String("export")) {
        QCoreApplication application(argc, argv);
        nameApplication();
        return runExportCommand(arguments);
    }
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.exitNow)
        return commandLine.exitCode;

    QApplication application(argc, argv);
    nameApplication();
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("mail-message")));
    program().server = commandLine.server;

    Form1 window;
    window.Form_Load();
    window.show();
    return application.exec();
}
