#include "app/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString &programFolderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    programFolderOverride() = folder;
}

QString errorLogPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/errorlog.txt");
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo(path).lastModified().isValid();
}
