// Clock texts, duration parsing and the 8-bit conversions.

#include <QtTest>

#include "util/TimeFormat.h"

class TestTimeFormat : public QObject {
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void parse_data();
    void parse();
    void roundTrip();
    void conversions_data();
    void conversions();
};

void TestTimeFormat::format_data() {
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("0") << qint64(0) << QByteArray("00:00:00");
    QTest::newRow("59") << qint64(59) << QByteArray("00:00:59");
    QTest::newRow("60") << qint64(60) << QByteArray("00:01:00");
    QTest::newRow("3599") << qint64(3599) << QByteArray("00:59:59");
    QTest::newRow("3600") << qint64(3600) << QByteArray("01:00:00");
    QTest::newRow("3661") << qint64(3661) << QByteArray("01:01:01");
    QTest::newRow("100 hours") << qint64(360000) << QByteArray("100:00:00");
    QTest::newRow("huge") << qint64(9223372036854775807LL) << QByteArray("2562047788015215:30:07");
    // Negative values keep the old "00:00:%02d" of their low 32 bits.
    QTest::newRow("-1") << qint64(-1) << QByteArray("00:00:-1");
    QTest::newRow("-61") << qint64(-61) << QByteArray("00:00:-61");
    QTest::newRow("-2^32 + 7") << qint64(-4294967296LL + 7) << QByteArray("00:00:07");
}

void TestTimeFormat::format() {
    QFETCH(qint64, seconds);
    QFETCH(QByteArray, text);
    QCOMPARE(formatTime(seconds), text);
}

void TestTimeFormat::parse_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("h:m:s.f") << QByteArray("01:02:03.45") << qint64(3723);
    QTest::newRow("probe line rest") << QByteArray("00:00:12.02, start: 0.000000, bitrate: 191 kb/s")
                                     << qint64(12);
    QTest::newRow("m:s counts as h:m") << QByteArray("00:01") << qint64(60);
    QTest::newRow("hours only") << QByteArray("2") << qint64(7200);
    QTest::newRow("empty") << QByteArray() << qint64(0);
    QTest::newRow("leading blanks") << QByteArray("  1: 2: 3") << qint64(3723);
    QTest::newRow("N/A") << QByteArray("N/A, bitrate: N/A") << qint64(0);
    QTest::newRow("junk field") << QByteArray("1:xx:5") << qint64(3605);
    QTest::newRow("long hours") << QByteArray("123:00:01") << qint64(442801);
    QTest::newRow("third colon ignored") << QByteArray("0:0:1:9") << qint64(1);
}

void TestTimeFormat::parse() {
    QFETCH(QByteArray, text);
    QFETCH(qint64, seconds);
    QCOMPARE(parseDurationText(text), seconds);
    QCOMPARE(parseDurationText(QString::fromLatin1(text)), seconds);
}

void TestTimeFormat::roundTrip() {
    for (qint64 seconds : {0LL, 1LL, 59LL, 61LL, 3599LL, 3600LL, 86399LL, 86400LL, 359999LL, 1000000LL})
        QCOMPARE(parseDurationText(formatTime(seconds)), seconds);
    // An endless run of digits must neither overflow nor turn negative.
    QVERIFY(parseDurationText(QByteArray(400, '9') + ":" + QByteArray(400, '9')) > 0);
}

void TestTimeFormat::conversions_data() {
    QTest::addColumn<QString>("wide");
    QTest::newRow("empty") << QString();
    QTest::newRow("ascii") << QStringLiteral("/media/BD/BDMV/");
    QTest::newRow("latin") << QString::fromUtf8("Été à Zürich");
    QTest::newRow("cjk") << QString::fromUtf8("简体中文 日本語の題名");
    QTest::newRow("astral") << QString::fromUtf8("clip 🎬.m2ts");
}

void TestTimeFormat::conversions() {
    QFETCH(QString, wide);
    QCOMPARE(wideToLocal(wide), wide.toUtf8()); // the local code page is UTF-8 here
    QCOMPARE(localToWide(wideToLocal(wide)), wide);
    // Text ends at a terminator, as it did for the zero-terminated originals.
    QCOMPARE(localToWide(wide.toUtf8() + QByteArray("\0tail", 5)), wide);
    QCOMPARE(wideToLocal(wide + QChar(0) + QStringLiteral("tail")), wide.toUtf8());
}

QTEST_APPLESS_MAIN(TestTimeFormat)
#include "tst_timeformat.moc"
