#include "tests/support/testenv.h"

#include <QDir>
#include <QTemporaryDir>

QString useTemporaryHome()
{
    auto *home = new QTemporaryDir(); // deliberately kept for the life of the test binary
    const QString root = home->path();
    QDir(root).mkpath(QStringLiteral("config"));
    QDir(root).mkpath(QStringLiteral("data"));
    QDir(root).mkpath(QStringLiteral("Desktop"));
    qputenv("HOME", root.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_DESKTOP_DIR", (root + QStringLiteral("/Desktop")).toLocal8Bit());
    return root;
}
