#include "app/settings.h"

#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "app/errortrap.h"

namespace {

struct KeyInfo
{
    SettingKey key;
    const char *name;
    const char *defaultValue;
};

// One table: no key string is spelled anywhere else.
const KeyInfo kKeys[] = {
    {SettingKey::User, "User", ""},
    {SettingKey::Password, "Password", ""},
    {SettingKey::Folder, "Folder", ""},
    {SettingKey::Option, "Option", ""},
    {SettingKey::Option3, "Option3", "1"},
    {SettingKey::Option4, "Option4", "0"},
    {SettingKey::Option5, "Option5", "0"},
    {SettingKey::Option6, "Option6", "0"},
    {SettingKey::Option7, "Option7", "0"},
    {SettingKey::Option8, "Option8", "0"},
    {SettingKey::Option9, "Option9", "0"},
    {SettingKey::Option10, "Option10", "0"},
    {SettingKey::StayConnected, "StayConnected", "0"},
    {SettingKey::AutoConnect, "AutoConnect", "0"},
    {SettingKey::CharactersFilter, "CharactersFilter", ""},
    {SettingKey::LabelFilter, "LabelFilter", ""},
};

const KeyInfo &info(SettingKey key)
{
    for (const KeyInfo &entry : kKeys) {
        if (entry.key == key)
            return entry;
    }
    return kKeys[0];
}

QString groupedKey(SettingKey key)
{
    return QStringLiteral("Corvina/") + QLatin1String(info(key).name);
}

// Opened anew for every access so that a changed XDG_CONFIG_HOME (tests) is honoured.
QSettings openStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brackwater"));
}

void restrictToOwner(const QString &path)
{
    if (QFile::exists(path))
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Creates the file empty and private before the first value lands in it, so
// the password is never readable by others, not even for a moment.
void ensurePrivateFile(const QString &path)
{
    if (QFile::exists(path))
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

AppError typeMismatch()
{
    return AppError(QStringLiteral("Type mismatch"));
}

} // namespace

QString Settings::keyName(SettingKey key)
{
    return QLatin1String(info(key).name);
}

QString Settings::defaultValue(SettingKey key)
{
    if (key == SettingKey::Folder)
        return defaultSaveFolder();
    return QLatin1String(info(key).defaultValue);
}

QString Settings::read(SettingKey key)
{
    return read(key, defaultValue(key));
}

QString Settings::read(SettingKey key, const QString &fallback)
{
    const QVariant value = openStore().value(groupedKey(key));
    if (!value.isValid())
        return fallback;
    return value.toString();
}

void Settings::write(SettingKey key, const QString &value)
{
    const QString path = filePath();
    ensurePrivateFile(path);
    {
        QSettings store = openStore();
        store.setValue(groupedKey(key), value);
        store.sync();
    }
    restrictToOwner(path);
}

bool Settings::readBool(SettingKey key)
{
    return toBool(read(key));
}

qint32 Settings::readWholeNumber(SettingKey key)
{
    return toWholeNumber(read(key));
}

QString Settings::filePath()
{
    return openStore().fileName();
}

bool Settings::toBool(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok)
        throw typeMismatch();
    return number != 0.0;
}

qint32 Settings::toWholeNumber(const QString &text)
{
    bool ok = false;
    const qint32 number = text.trimmed().toInt(&ok);
    if (!ok)
        throw typeMismatch();
    return number;
}

QString defaultSaveFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        return QString();
    return desktop + QLatin1Char('/');
}
