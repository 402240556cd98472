#include <QtTest>

#include "app/errortrap.h"
#include "app/settings.h"
#include "tests/support/testenv.h"

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporaryHome(); }

    void defaultsWhenAbsent()
    {
        QCOMPARE(Settings::read(SettingKey::Option3), QStringLiteral("1"));
        QCOMPARE(Settings::read(SettingKey::Option7), QStringLiteral("0"));
        QCOMPARE(Settings::read(SettingKey::User), QString());
        QCOMPARE(Settings::read(SettingKey::Folder, QStringLiteral("x")), QStringLiteral("x"));
        QVERIFY(Settings::read(SettingKey::Folder).endsWith(QLatin1Char('/')));
    }

    void textSurvivesTheStoreUnchanged_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("blanks around") << "  abc  ";
        QTest::newRow("commas") << "a, b, c";
        QTest::newRow("quotes and backslashes") << "say \"hi\" \\ there";
        QTest::newRow("leading at-sign") << "@Variant(x)";
        QTest::newRow("non-ASCII") << QString::fromUtf8("pässwörd ☃ 日本");
        QTest::newRow("semicolon and equals") << "a=b;c#d";
        QTest::newRow("empty") << "";
    }

    void textSurvivesTheStoreUnchanged()
    {
        QFETCH(QString, value);
        Settings::write(SettingKey::CharactersFilter, value);
        QCOMPARE(Settings::read(SettingKey::CharactersFilter, QStringLiteral("absent")), value);
    }

    void fileIsPrivate()
    {
        Settings::write(SettingKey::Password, QStringLiteral("secret"));
        const QFileInfo file(Settings::filePath());
        QVERIFY(file.exists());
        QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                                       | QFileDevice::WriteOther),
                 QFileDevice::Permissions());
        QFile::setPermissions(file.filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        Settings::write(SettingKey::Password, QStringLiteral("other"));
        QVERIFY(!(QFileInfo(file.filePath()).permissions() & QFileDevice::ReadOther));
    }

    void booleansAndWholeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("asBool"); // -1: type mismatch
        QTest::addColumn<int>("asNumber"); // -999: type mismatch
        QTest::newRow("True") << "True" << 1 << -999;
        QTest::newRow("False") << "False" << 0 << -999;
        QTest::newRow("zero") << "0" << 0 << 0;
        QTest::newRow("one") << "1" << 1 << 1;
        QTest::newRow("minus one") << "-1" << 1 << -1;
        QTest::newRow("words") << "yes please" << -1 << -999;
        QTest::newRow("empty") << "" << -1 << -999;
    }

    void booleansAndWholeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, asBool);
        QFETCH(int, asNumber);
        Settings::write(SettingKey::StayConnected, text);
        if (asBool < 0)
            QVERIFY_THROWS_EXCEPTION(AppError, Settings::readBool(SettingKey::StayConnected));
        else
            QCOMPARE(Settings::readBool(SettingKey::StayConnected), asBool == 1);
        if (asNumber == -999)
            QVERIFY_THROWS_EXCEPTION(AppError, Settings::readWholeNumber(SettingKey::StayConnected));
        else
            QCOMPARE(Settings::readWholeNumber(SettingKey::StayConnected), asNumber);
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
