// Captions, the language list and the language switch, on private application
// folders; plus a check of the language files that ship beside the player.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "TestFiles.h"
#include "config/IniFile.h"
#include "config/LanguageManager.h"

using kzp::test::writeBytes;
using kzp::test::config::readBytes;

namespace {

const QByteArray configText = "; settings\n[DefaultLanguage]\nDefault=/English\n\n[Languages]\n"
                              "/English=English\n/French=Fran\xC3\xA7"
                              "ais\n";

const QByteArray englishText = "[MainWnd]\nPlay=Play\nOK=first\nOK=second\nEquation=a=b\nEmpty=\n"
                               "Bare line\n[Messages]\nMSG0102=No disc structure\n"
                               "[Deep/Path]\nLeaf=deep\n[Solo]\n=solo text\n";

const QByteArray frenchText = "[MainWnd]\nPlay=Lecture\n";

// Every caption the program asks for.
const char* const requiredKeys[] = {
    "Messages/MSG0102",
    "Messages/MSG0403",
    "MainWnd/Audio",
    "MainWnd/AudioChannel",
    "MainWnd/AudioTrack",
    "MainWnd/Backward",
    "MainWnd/Browse",
    "MainWnd/Cancel",
    "MainWnd/Chapter",
    "MainWnd/ClearMenu",
    "MainWnd/Close",
    "MainWnd/Controls",
    "MainWnd/DoubleSize",
    "MainWnd/Eject",
    "MainWnd/File",
    "MainWnd/FileName",
    "MainWnd/Fit2Screen",
    "MainWnd/Forward",
    "MainWnd/FreeTitle",
    "MainWnd/FullScreen",
    "MainWnd/HalfSize",
    "MainWnd/Help",
    "MainWnd/Language",
    "MainWnd/Left",
    "MainWnd/NavigationPanel",
    "MainWnd/Next",
    "MainWnd/NormalSize",
    "MainWnd/OK",
    "MainWnd/Open",
    "MainWnd/OpenDisc",
    "MainWnd/OpenFile",
    "MainWnd/OpenFolder",
    "MainWnd/OtherTitles",
    "MainWnd/Pause",
    "MainWnd/Play",
    "MainWnd/PlayList",
    "MainWnd/PlayMovie",
    "MainWnd/Preferences",
    "MainWnd/Previous",
    "MainWnd/ProbeProgress",
    "MainWnd/ProTitle",
    "MainWnd/RecentFiles",
    "MainWnd/RegisterTitle",
    "MainWnd/Resume",
    "MainWnd/Right",
    "MainWnd/Snapshot",
    "MainWnd/SnapshotFolder",
    "MainWnd/SnapshotFormat",
    "MainWnd/Stereo",
    "MainWnd/Stop",
    "MainWnd/Subtitle",
    "MainWnd/SubtitleTrack",
    "MainWnd/Support",
    "MainWnd/Title",
    "MainWnd/Tools",
    "MainWnd/Video",
    "MainWnd/VideoTrack",
    "MainWnd/VolumeDown",
    "MainWnd/VolumeUp",
};

} // namespace

class TestLanguageManager : public QObject {
    Q_OBJECT

private slots:
    void init();
    void captions_data();
    void captions();
    void defaults_data();
    void defaults();
    void languageList();
    void switchLanguage();
    void switchWithUnwritableConfig();
    void choiceKeptPerUserWhereProgramFileIsReadOnly();
    void shippedLanguageFiles_data();
    void shippedLanguageFiles();
    void instanceUsesApplicationFolder();

private:
    QString app; // application folder of the current test function
    QScopedPointer<QTemporaryDir> dir;
};

void TestLanguageManager::init() {
    dir.reset(new QTemporaryDir);
    app = dir->path();
    QVERIFY(writeBytes(app + "/config.ini", configText));
    QVERIFY(writeBytes(app + "/Languages/English.ini", englishText));
    QVERIFY(writeBytes(app + "/Languages/French.ini", frenchText));
}

void TestLanguageManager::captions_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("caption");
    QTest::newRow("plain") << QByteArray("MainWnd/Play") << "Play";
    QTest::newRow("section in other case") << QByteArray("mainwnd/Play") << "";
    QTest::newRow("first of two") << QByteArray("MainWnd/OK") << "first";
    QTest::newRow("text holds =") << QByteArray("MainWnd/Equation") << "a=b";
    QTest::newRow("ends after =") << QByteArray("MainWnd/Empty") << "";
    QTest::newRow("line without =") << QByteArray("MainWnd/Bare line") << "Bare line";
    QTest::newRow("missing key") << QByteArray("MainWnd/Nothing") << "";
    QTest::newRow("missing section") << QByteArray("Nowhere/Play") << "";
    QTest::newRow("other section") << QByteArray("Messages/MSG0102") << "No disc structure";
    QTest::newRow("split at last /") << QByteArray("Deep/Path/Leaf") << "deep";
    QTest::newRow("no / : section, empty key") << QByteArray("Solo") << "solo text";
    QTest::newRow("empty key text") << QByteArray("") << "";
    QTest::newRow("trailing /") << QByteArray("Solo/") << "solo text";
}

void TestLanguageManager::captions() {
    QFETCH(QByteArray, key);
    QFETCH(QString, caption);
    LanguageManager manager(app);
    QCOMPARE(manager.caption(key.constData()), caption);
}

void TestLanguageManager::defaults_data() {
    QTest::addColumn<QByteArray>("config"); // "-" removes config.ini
    QTest::addColumn<bool>("englishFile");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("play");
    QTest::newRow("no config.ini") << QByteArray("-") << true << "/English"
                                   << "Play";
    QTest::newRow("no DefaultLanguage section")
        << QByteArray("[Languages]\n/French=F\n") << true << "/English"
        << "Play";
    QTest::newRow("Default in other case")
        << QByteArray("[defaultlanguage]\nDefault=/French\n") << true << "/English"
        << "Play";
    QTest::newRow("French chosen") << QByteArray("[DefaultLanguage]\nDefault=/French\n") << true << "/French"
                                   << "Lecture";
    QTest::newRow("language file missing")
        << QByteArray("[DefaultLanguage]\nDefault=/Klingon\n") << true << "/Klingon"
        << "";
    QTest::newRow("no English file") << QByteArray("-") << false << "/English"
                                     << "";
    QTest::newRow("binary config") << QByteArray("\x00\xFF[\x01\n=\n", 7) << true << "/English"
                                   << "Play";
}

void TestLanguageManager::defaults() {
    QFETCH(QByteArray, config);
    QFETCH(bool, englishFile);
    QFETCH(QString, language);
    QFETCH(QString, play);
    if (config == "-")
        QVERIFY(QFile::remove(app + "/config.ini"));
    else
        QVERIFY(writeBytes(app + "/config.ini", config));
    if (!englishFile)
        QVERIFY(QFile::remove(app + "/Languages/English.ini"));

    LanguageManager manager(app);
    QCOMPARE(manager.currentLanguage(), language);
    QCOMPARE(manager.caption("MainWnd/Play"), play);
    // The language key is glued to the folder as it stands ("Languages//English.ini").
    QCOMPARE(manager.languageFilePath(), app + "/Languages/" + language + ".ini");
    if (config == "-")
        QVERIFY(manager.languages().isEmpty());
}

void TestLanguageManager::languageList() {
    QVERIFY(writeBytes(app + "/config.ini",
                       "[Languages]\n/English=English\n  /Chinese = 简体中文  \n;/Hidden=x\n/Bare\n"
                       "/English=Again\n"));
    LanguageManager manager(app);
    const QList<LanguageManager::Language> expected = {
        {"/English", "English"},
        {"/Chinese", QString::fromUtf8("简体中文")},
        {"/Bare", "/Bare"},
        {"/English", "Again"},
    };
    QCOMPARE(manager.languages(), expected);
}

void TestLanguageManager::switchLanguage() {
    LanguageManager manager(app);
    QCOMPARE(manager.caption("MainWnd/Play"), QStringLiteral("Play"));
    manager.switchLanguage(QStringLiteral("/French"));
    QCOMPARE(manager.currentLanguage(), QStringLiteral("/French"));
    QCOMPARE(manager.caption("MainWnd/Play"), QStringLiteral("Lecture"));
    QCOMPARE(manager.caption("Messages/MSG0102"), QString()); // nothing left of the old table
    QCOMPARE(readBytes(app + "/config.ini"),
             QByteArray(configText).replace("Default=/English", "Default=/French"));
    // The list is read once, at construction.
    QCOMPARE(manager.languages().size(), 2);

    // A new manager (the next start) sees the stored choice.
    LanguageManager next(app);
    QCOMPARE(next.currentLanguage(), QStringLiteral("/French"));

    // Without config.ini the switch creates it.
    QVERIFY(QFile::remove(app + "/config.ini"));
    next.switchLanguage(QStringLiteral("/English"));
    QCOMPARE(readBytes(app + "/config.ini"), QByteArray("[DefaultLanguage]\nDefault=/English\n"));
    QCOMPARE(next.caption("MainWnd/Play"), QStringLiteral("Play"));
}

void TestLanguageManager::switchWithUnwritableConfig() {
    LanguageManager manager(app);
    // The language file is edited behind the manager's back; a reload must show it.
    QVERIFY(writeBytes(app + "/Languages/English.ini", "[MainWnd]\nPlay=Reloaded\n"));
    {
        kzp::test::WriteFailure failure;
        manager.switchLanguage(QStringLiteral("/French"));
    }
    QCOMPARE(readBytes(app + "/config.ini"), configText);
    QCOMPARE(manager.currentLanguage(), QStringLiteral("/English"));
    QCOMPARE(manager.caption("MainWnd/Play"), QStringLiteral("Reloaded"));
}

void TestLanguageManager::choiceKeptPerUserWhereProgramFileIsReadOnly() {
    const QString user = app + "/user/config.ini"; // its folder is made on demand
    LanguageManager manager(app, user);
    {
        // Files over 40 bytes fail: the program's config.ini does, the user's does not.
        kzp::test::WriteFailure failure(40);
        manager.switchLanguage(QStringLiteral("/French"));
    }
    QCOMPARE(readBytes(app + "/config.ini"), configText);
    QCOMPARE(manager.currentLanguage(), QStringLiteral("/French"));
    QCOMPARE(manager.caption("MainWnd/Play"), QStringLiteral("Lecture"));
    QCOMPARE(LanguageManager(app, user).currentLanguage(), QStringLiteral("/French")); // the next start
    QCOMPARE(LanguageManager(app).currentLanguage(), QStringLiteral("/English"));

    // Where the program's file can be written it keeps the choice, and the
    // user's file, which would hide it, goes.
    manager.switchLanguage(QStringLiteral("/English"));
    QVERIFY(!QFile::exists(user));
    QCOMPARE(LanguageManager(app, user).currentLanguage(), QStringLiteral("/English"));

    // Only a language the program offers is taken from the user's file.
    QVERIFY(writeBytes(user, "[DefaultLanguage]\nDefault=/../../elsewhere\n"));
    QCOMPARE(LanguageManager(app, user).currentLanguage(), QStringLiteral("/English"));
}

void TestLanguageManager::shippedLanguageFiles_data() {
    QTest::addColumn<QString>("key");
    IniFile config;
    QVERIFY(config.load(QCoreApplication::applicationDirPath() + "/config.ini"));
    const QList<IniFile::Entry> languages = config.entries(QStringLiteral("Languages"));
    QCOMPARE(languages.size(), 6);
    for (const IniFile::Entry& language : languages)
        QTest::newRow(qPrintable(language.text)) << language.key;
}

void TestLanguageManager::shippedLanguageFiles() {
    QFETCH(QString, key);
    // A copy, so that switching never touches the files other tests read.
    const QString shipped = QCoreApplication::applicationDirPath();
    QVERIFY(writeBytes(app + "/config.ini", readBytes(shipped + "/config.ini")));
    const QStringList files = QDir(shipped + "/Languages").entryList(QDir::Files);
    QCOMPARE(files.size(), 6);
    for (const QString& file : files)
        QVERIFY(writeBytes(app + "/Languages/" + file, readBytes(shipped + "/Languages/" + file)));
    LanguageManager manager(app);
    QCOMPARE(manager.currentLanguage(), QStringLiteral("/English"));
    manager.switchLanguage(key);
    QVERIFY(QFile::exists(manager.languageFilePath()));
    // A second instance looks for this exact title, in every language.
    QCOMPARE(manager.caption("MainWnd/ProTitle"), QStringLiteral("Kestrune Zyl Player"));
    QStringList missing;
    for (const char* required : requiredKeys)
        if (manager.caption(required).trimmed().isEmpty())
            missing << QString::fromLatin1(required);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
    if (key != QStringLiteral("/English"))
        QVERIFY(manager.caption("MainWnd/Play") != QStringLiteral("Play"));
}

void TestLanguageManager::instanceUsesApplicationFolder() {
    QCOMPARE(LanguageManager::instance().configPath(),
             QCoreApplication::applicationDirPath() + "/config.ini");
    QCOMPARE(caption("MainWnd/ProTitle"), QStringLiteral("Kestrune Zyl Player"));
    QCOMPARE(caption("MainWnd/OpenFile"), QStringLiteral("Open File"));
    QCOMPARE(&LanguageManager::instance(), &LanguageManager::instance());
    // Once captions were read, the folder stays: a late change is refused.
    QVERIFY(!LanguageManager::useFolder(app));
    QCOMPARE(LanguageManager::instance().configPath(),
             QCoreApplication::applicationDirPath() + "/config.ini");
    QCOMPARE(caption("MainWnd/Play"), QStringLiteral("Play"));
}

QTEST_GUILESS_MAIN(TestLanguageManager)
#include "tst_languagemanager.moc"
