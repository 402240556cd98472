#include "app/filehelpers.h"

#include <QDir>
#include <QFileInfo>

#include "app/boxes.h"
#include "app/errortrap.h"

QString BrowseForFolder(QWidget *owner, const QString &title, const QString &start)
{
    const QString chosen = boxes().chooseFolder(owner, title, start);
    if (chosen.isEmpty())
        return QString();
    // cleanPath drops a trailing separator but keeps the root "/".
    return QDir::cleanPath(chosen);
}

bool FolderExists(const QString &path)
{
    // A NUL would cut the path short at the system call.
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    return QFileInfo(path).isDir();
}

QString FilterCharacters(const QString &text, const QString &set, bool keep)
{
    if (text.size() > kLongestFilteredText)
        throw AppError(QStringLiteral("Overflow"));
    QString result;
    result.reserve(text.size());
    for (const QChar character : text) {
        if (set.contains(character, Qt::CaseSensitive) == keep)
            result.append(character);
    }
    return result;
}

QString SafeFileName(const QString &text)
{
    return FilterCharacters(text, FileNameCharacters, true);
}

QString ShortenFileName(const QString &text)
{
    return text.left(kLongestFileName);
}
