// The INI reader and the line-preserving writer.

#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include "TestFiles.h"
#include "config/IniFile.h"
#include "config/SideFile.h"

using kzp::test::writeBytes;
using kzp::test::config::readBytes;

namespace {
QByteArray utf16(const QString& text, QStringConverter::Encoding encoding) {
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder(text);
}
} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void lookUp_data();
    void lookUp();
    void sectionsAndLinesInFileOrder();
    void hostileInput_data();
    void hostileInput();
    void hugeFileAndLongLine();
    void write_data();
    void write();
    void writeUtf16KeepsEncoding();
    void writeRefusesLineBreaks();
    void writeFailureKeepsFile();
    void readOnlyFileIsNotReplaced();

private:
    QTemporaryDir dir;
};

void TestIniFile::lookUp_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");

    const QByteArray play = "[MainWnd]\nPlay=Play\n";
    // Matching rules
    QTest::newRow("plain") << play << "MainWnd"
                           << "Play" << true << "Play";
    QTest::newRow("section case differs") << play << "mainwnd"
                                          << "Play" << false << "";
    QTest::newRow("key case differs") << play << "MainWnd"
                                      << "play" << false << "";
    QTest::newRow("text holds =") << QByteArray("[S]\nK=a=b==c\n") << "S"
                                  << "K" << true << "a=b==c";
    QTest::newRow("nothing after =") << QByteArray("[S]\nK=\n") << "S"
                                     << "K" << true << "";
    QTest::newRow("no = : key and text") << QByteArray("[S]\nJust words\n") << "S"
                                         << "Just words" << true << "Just words";
    QTest::newRow("empty key") << QByteArray("[S]\n=lonely\n") << "S"
                               << "" << true << "lonely";
    QTest::newRow("first key wins") << QByteArray("[S]\nOK=first\nOK=second\n") << "S"
                                    << "OK" << true << "first";
    QTest::newRow("repeated section, first wins") << QByteArray("[S]\nA=1\n[T]\nA=x\n[S]\nA=2\nB=3\n") << "S"
                                                  << "A" << true << "1";
    QTest::newRow("repeated section, later key") << QByteArray("[S]\nA=1\n[T]\nA=x\n[S]\nA=2\nB=3\n") << "S"
                                                 << "B" << true << "3";
    QTest::newRow("key of another section") << QByteArray("[S]\nA=1\n[T]\nB=2\n") << "S"
                                            << "B" << false << "";
    QTest::newRow("before any section") << QByteArray("A=0\n[S]\nB=1\n") << "S"
                                        << "A" << false << "";
    // Layout of the text
    QTest::newRow("comment skipped") << QByteArray("[S]\n;K=no\nK=yes\n") << "S"
                                     << "K" << true << "yes";
    QTest::newRow("indented comment") << QByteArray("[S]\n   ; K=no\n") << "S"
                                      << "; K" << false << "";
    QTest::newRow("blank lines") << QByteArray("\n\n[S]\n\n   \n\tK=v\n\n") << "S"
                                 << "K" << true << "v";
    QTest::newRow("blanks and CR dropped") << QByteArray("[S]\r\n  K =  v w \t\r\n") << "S"
                                           << "K" << true << "v w";
    QTest::newRow("section name blanks") << QByteArray("  [ S ]  \nK=v\n") << "S"
                                         << "K" << true << "v";
    QTest::newRow("section without ]") << QByteArray("[S\nK=v\n") << "S"
                                       << "K" << true << "v";
    QTest::newRow("slash in section") << QByteArray("[A/B]\nC=v\n") << "A/B"
                                      << "C" << true << "v";
    QTest::newRow("no final line feed") << QByteArray("[S]\nK=v") << "S"
                                        << "K" << true << "v";
    QTest::newRow("empty file") << QByteArray() << "S"
                                << "K" << false << "";
    // Encodings
    QTest::newRow("mark inside (joined files)")
        << QByteArray("\xEF\xBB\xBF[A]\nx=1\n\xEF\xBB\xBF[S]\nK=v\n") << "S"
        << "K" << true << "v";
    QTest::newRow("utf-16 stray last byte") << QByteArray("\xFF\xFE[\0S\0]\0\n\0K\0=\0v\0\n", 17) << "S"
                                            << "K" << true << "v";
    QTest::newRow("utf-8") << QByteArray("[S]\nK=简体中文 日本語 Ü\n") << "S"
                           << "K" << true << QString::fromUtf8("简体中文 日本語 Ü");
    QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF[S]\nK=Français\n") << "S"
                               << "K" << true << QString::fromUtf8("Français");
    const QString text = QString::fromUtf8("[MainWnd]\r\nPlay=再生\r\n");
    QTest::newRow("utf-16le bom") << utf16(text, QStringConverter::Utf16LE) << "MainWnd"
                                  << "Play" << true << QString::fromUtf8("再生");
    QTest::newRow("utf-16be bom") << utf16(text, QStringConverter::Utf16BE) << "MainWnd"
                                  << "Play" << true << QString::fromUtf8("再生");
}

void TestIniFile::lookUp() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, text);

    IniFile ini;
    ini.parse(bytes);
    QCOMPARE(ini.contains(section, key), found);
    QCOMPARE(ini.value(section, key, QStringLiteral("<none>")), found ? text : QStringLiteral("<none>"));

    // The same through a file on disk.
    const QString path = dir.filePath(QStringLiteral("lookup.ini"));
    QVERIFY(writeBytes(path, bytes));
    IniFile fromFile;
    QVERIFY(fromFile.load(path));
    QCOMPARE(fromFile.value(section, key, QStringLiteral("<none>")), found ? text : QStringLiteral("<none>"));
}

void TestIniFile::sectionsAndLinesInFileOrder() {
    IniFile ini;
    ini.parse("[Languages]\n/English=English\n/Chinese=简体中文\n[Other]\nx=1\n[Languages]\n/German\n");
    QCOMPARE(ini.sectionNames(), QStringList({"Languages", "Other"}));
    const QList<IniFile::Entry> lines = ini.entries(QStringLiteral("Languages"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].key, QStringLiteral("/English"));
    QCOMPARE(lines[1].text, QString::fromUtf8("简体中文"));
    QCOMPARE(lines[2].key, QStringLiteral("/German"));
    QCOMPARE(lines[2].text, QStringLiteral("/German"));
    QVERIFY(ini.entries(QStringLiteral("Missing")).isEmpty());

    IniFile missing;
    QVERIFY(!missing.load(dir.filePath(QStringLiteral("does-not-exist.ini"))));
    QVERIFY(missing.sectionNames().isEmpty());
}

void TestIniFile::hostileInput_data() {
    QTest::addColumn<QByteArray>("bytes");
    QRandomGenerator random(20210);
    QByteArray junk(kIniFileLimit - 64, '\0'); // as much as a file may hold, and room for the edit
    for (char& c : junk)
        c = char(random.bounded(256));
    QTest::newRow("random bytes") << junk;
    QTest::newRow("random bytes after utf-16 bom") << QByteArray("\xFF\xFE") + junk.left(4097);
    QTest::newRow("odd utf-16 length") << QByteArray("\xFE\xFF\x00[\x00S\x00]\x00");
    QTest::newRow("nul bytes") << QByteArray("[S]\nK=a\0b\n[\0]\n\0=\0\n", 17);
    QTest::newRow("broken utf-8") << QByteArray("[S]\nK=\xC3\n\xE6\x97=\xFF\xFE\n");
    QTest::newRow("only brackets") << QByteArray("[[[]]]\n]\n[\n=\n==\n;\n");
    QByteArray sections;
    for (int i = 0; i < 20000; ++i)
        sections += "[S]\nK=" + QByteArray::number(i) + "\n";
    QTest::newRow("20000 repeated sections") << sections;
}

void TestIniFile::hostileInput() {
    QFETCH(QByteArray, bytes);
    IniFile ini;
    ini.parse(bytes);
    for (const QString& name : ini.sectionNames())
        for (const IniFile::Entry& entry : ini.entries(name))
            QCOMPARE(ini.contains(name, entry.key), true);
    if (bytes.startsWith("[S]\nK=0\n"))
        QCOMPARE(ini.value(QStringLiteral("S"), QStringLiteral("K")), QStringLiteral("0"));

    // The writer must cope with the same bytes and change only its line.
    const QString path = dir.filePath(QStringLiteral("hostile.ini"));
    QVERIFY(writeBytes(path, bytes));
    QVERIFY(IniFile::writeValue(path, QStringLiteral("DefaultLanguage"), QStringLiteral("Default"),
                                QStringLiteral("/French")));
    const QByteArray after = readBytes(path);
    QByteArray kept = bytes;
    if ((kept.startsWith("\xFF\xFE") || kept.startsWith("\xFE\xFF")) && kept.size() % 2 != 0)
        kept.chop(1); // half a UTF-16 character is dropped
    QVERIFY(after.startsWith(kept));
    IniFile reread;
    QVERIFY(reread.load(path));
    QCOMPARE(reread.value(QStringLiteral("DefaultLanguage"), QStringLiteral("Default")),
             QStringLiteral("/French"));
}

void TestIniFile::hugeFileAndLongLine() {
    // A file up to its bound is read whole, however long its lines (files
    // past the bound are refused: tst_sidefiles).
    const QByteArray longText(100000, 'x');
    QByteArray bytes = "[MainWnd]\nLong=" + longText + "\n";
    while (bytes.size() < kIniFileLimit - 100)
        bytes += "Filler" + QByteArray::number(bytes.size()) + "=some caption text\n";
    bytes += "[Messages]\nMSG0102=last\n";
    const QString path = dir.filePath(QStringLiteral("huge.ini"));
    QVERIFY(writeBytes(path, bytes));

    IniFile ini;
    QVERIFY(ini.load(path));
    QCOMPARE(ini.value(QStringLiteral("MainWnd"), QStringLiteral("Long")).size(), longText.size());
    QCOMPARE(ini.value(QStringLiteral("Messages"), QStringLiteral("MSG0102")), QStringLiteral("last"));
    QVERIFY(ini.entries(QStringLiteral("MainWnd")).size() > 4000);

    QVERIFY(IniFile::writeValue(path, QStringLiteral("Messages"), QStringLiteral("MSG0102"),
                                QStringLiteral("new")));
    QByteArray expected = bytes;
    expected.chop(5);
    expected += "new\n";
    QVERIFY(readBytes(path) == expected);
}

void TestIniFile::write_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QByteArray crlf = "; Player settings\r\n[DefaultLanguage]\r\nDefault=/English\r\n\r\n"
                            "[Languages]\r\n/English=English\r\n/French=Fran\xC3\xA7"
                            "ais\r\n";
    QTest::newRow("changes one line, crlf kept")
        << crlf << "/French" << QByteArray(crlf).replace("Default=/English", "Default=/French");
    QTest::newRow("indented line, blanks around =")
        << QByteArray("[DefaultLanguage]\n   Default  =  /English   \n") << "/German"
        << QByteArray("[DefaultLanguage]\nDefault=/German\n");
    QTest::newRow("first of two keys") << QByteArray("[DefaultLanguage]\nDefault=/A\nDefault=/B\n") << "/C"
                                       << QByteArray("[DefaultLanguage]\nDefault=/C\nDefault=/B\n");
    QTest::newRow("key only in a repeated section")
        << QByteArray("[DefaultLanguage]\nOther=1\n[X]\n[DefaultLanguage]\nDefault=/A\n") << "/B"
        << QByteArray("[DefaultLanguage]\nOther=1\n[X]\n[DefaultLanguage]\nDefault=/B\n");
    QTest::newRow("key missing: after the section's last line")
        << QByteArray("[DefaultLanguage]\nOther=1\n\n; note\n[Languages]\n/English=English\n") << "/B"
        << QByteArray("[DefaultLanguage]\nOther=1\nDefault=/B\n\n; note\n[Languages]\n/English=English\n");
    QTest::newRow("key missing, section last without line feed")
        << QByteArray("[DefaultLanguage]") << "/B" << QByteArray("[DefaultLanguage]\nDefault=/B\n");
    QTest::newRow("commented key is not the key")
        << QByteArray("[DefaultLanguage]\n;Default=/A\n") << "/B"
        << QByteArray("[DefaultLanguage]\nDefault=/B\n;Default=/A\n");
    QTest::newRow("section missing")
        << QByteArray("[Languages]\r\n/English=English") << "/B"
        << QByteArray("[Languages]\r\n/English=English\r\n[DefaultLanguage]\r\nDefault=/B\r\n");
    QTest::newRow("empty file") << QByteArray() << "/B" << QByteArray("[DefaultLanguage]\nDefault=/B\n");
    QTest::newRow("bom and broken bytes kept")
        << QByteArray("\xEF\xBB\xBF\xFF\xFE junk\n[DefaultLanguage]\nDefault=/A\n\xC3\n") << "/B"
        << QByteArray("\xEF\xBB\xBF\xFF\xFE junk\n[DefaultLanguage]\nDefault=/B\n\xC3\n");
    QTest::newRow("non-ascii value") << QByteArray("[DefaultLanguage]\nDefault=/A\n")
                                     << QString::fromUtf8("/日本語")
                                     << QByteArray("[DefaultLanguage]\nDefault=/日本語\n");
    QTest::newRow("same value") << QByteArray("[DefaultLanguage]\r\nDefault=/A\r\n") << "/A"
                                << QByteArray("[DefaultLanguage]\r\nDefault=/A\r\n");
}

void TestIniFile::write() {
    QFETCH(QByteArray, before);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString path = dir.filePath(QStringLiteral("write.ini"));
    QVERIFY(writeBytes(path, before));
    QVERIFY(IniFile::writeValue(path, QStringLiteral("DefaultLanguage"), QStringLiteral("Default"), value));
    QCOMPARE(readBytes(path), after);
    IniFile ini;
    QVERIFY(ini.load(path));
    QCOMPARE(ini.value(QStringLiteral("DefaultLanguage"), QStringLiteral("Default")), value);
}

void TestIniFile::writeUtf16KeepsEncoding() {
    const QString before =
        QString::fromUtf8("[Languages]\r\n/Japanese=日本語\r\n[DefaultLanguage]\r\nDefault=/English\r\n");
    const QString after = QString(before).replace(QStringLiteral("/English"), QStringLiteral("/Japanese"));
    for (auto encoding : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        const QString path = dir.filePath(QStringLiteral("utf16.ini"));
        QVERIFY(writeBytes(path, utf16(before, encoding)));
        QVERIFY(IniFile::writeValue(path, QStringLiteral("DefaultLanguage"), QStringLiteral("Default"),
                                    QStringLiteral("/Japanese")));
        QCOMPARE(readBytes(path), utf16(after, encoding));
    }
}

void TestIniFile::writeRefusesLineBreaks() {
    const QString path = dir.filePath(QStringLiteral("breaks.ini"));
    const QByteArray before = "[DefaultLanguage]\nDefault=/A\n";
    QVERIFY(writeBytes(path, before));
    const QString section = QStringLiteral("DefaultLanguage");
    QVERIFY(
        !IniFile::writeValue(path, section, QStringLiteral("Default"), QStringLiteral("/B\n[Evil]\nx=1")));
    QVERIFY(!IniFile::writeValue(path, section, QStringLiteral("Default"), QStringLiteral("/B\r")));
    QVERIFY(!IniFile::writeValue(path, section, QStringLiteral("De=fault"), QStringLiteral("/B")));
    QVERIFY(
        !IniFile::writeValue(path, QStringLiteral("A\nB"), QStringLiteral("Default"), QStringLiteral("/B")));
    QCOMPARE(readBytes(path), before);
}

void TestIniFile::writeFailureKeepsFile() {
    const QString path = dir.filePath(QStringLiteral("full-disk.ini"));
    const QByteArray before = "[DefaultLanguage]\nDefault=/English\n[Languages]\n/English=English\n";
    QVERIFY(writeBytes(path, before));
    bool written = true;
    {
        kzp::test::WriteFailure failure;
        written = IniFile::writeValue(path, QStringLiteral("DefaultLanguage"), QStringLiteral("Default"),
                                      QStringLiteral("/French"));
    }
    QVERIFY(!written);
    QCOMPARE(readBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("full-disk.ini*")}, QDir::Files).size(), 1);
}

void TestIniFile::readOnlyFileIsNotReplaced() {
    if (kzp::test::runningAsRoot())
        QSKIP("root writes through file modes; writeFailureKeepsFile covers the failed write");
    QTemporaryDir locked;
    const QString path = locked.filePath(QStringLiteral("config.ini"));
    const QByteArray before = "[DefaultLanguage]\nDefault=/English\n";
    QVERIFY(writeBytes(path, before));
    QFile::setPermissions(path, QFile::ReadOwner);
    QVERIFY(!IniFile::writeValue(path, QStringLiteral("DefaultLanguage"), QStringLiteral("Default"),
                                 QStringLiteral("/French")));
    QCOMPARE(readBytes(path), before);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
