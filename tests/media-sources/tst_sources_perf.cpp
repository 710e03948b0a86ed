// Listing a folder of 100,000 entries: complete, in name order, in time.
// Labelled "perf": run on its own, not with the quick suite.
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include "media/FolderList.h"

class TestSourcesPerf : public QObject {
    Q_OBJECT

private slots:
    void hundredThousandEntries() {
        QTemporaryDir dir;
        const QByteArray base = QFile::encodeName(dir.path()) + "/";
        for (int i = 99999; i >= 0; --i)
            ::close(::open(base + QByteArray::number(i).rightJustified(6, '0'), O_CREAT | O_WRONLY, 0644));
        QList<FolderEntry> entries;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(listFolder(dir.path(), entries));
        qInfo("listed in %lld ms", static_cast<long long>(clock.elapsed()));
        QCOMPARE(entries.size(), 100000);
        for (int i = 0; i < entries.size(); i += 9999)
            QCOMPARE(entries[i].fullPath, base + QByteArray::number(i).rightJustified(6, '0'));
    }
};

QTEST_GUILESS_MAIN(TestSourcesPerf)
#include "tst_sources_perf.moc"
