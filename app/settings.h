#pragma once

#include <QString>

// Every key the program keeps, application "Brackwater", group "Corvina".
enum class SettingKey {
    User,
    Password,
    Folder,
    Option,
    Option3,
    Option4,
    Option5,
    Option6,
    Option7,
    Option8,
    Option9,
    Option10,
    StayConnected,
    AutoConnect,
    CharactersFilter,
    LabelFilter,
};

// The per-user settings store. Values are text, written the moment they
// change; the file holds the password, so it is kept readable by its owner only.
class Settings
{
public:
    static QString keyName(SettingKey key);
    // The default the program's readers name for the key ("" where none).
    static QString defaultValue(SettingKey key);

    // The stored text, or the key's default when the key is absent.
    static QString read(SettingKey key);
    // The stored text, or `fallback` when the key is absent.
    static QString read(SettingKey key, const QString &fallback);
    static void write(SettingKey key, const QString &value);

    // "True" and any non-zero number are true, "False" and "0" false;
    // anything else throws AppError ("Type mismatch").
    static bool readBool(SettingKey key);
    // A whole number; anything else throws AppError ("Type mismatch").
    static qint32 readWholeNumber(SettingKey key);

    // The settings file's path (for the README and the tests).
    static QString filePath();

    // The Boolean text the store keeps for option buttons.
    static QString boolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }
    // Conversions shared with other readers of text as numbers and Booleans.
    static bool toBool(const QString &text);
    static qint32 toWholeNumber(const QString &text);
};

// The desktop folder followed by "/", or "" when the platform has none.
QString defaultSaveFolder();
