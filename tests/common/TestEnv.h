#pragma once

// Gives a test process a private, empty home: HOME, XDG_DATA_HOME,
// XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR point into one temporary
// folder that is removed when the process ends. The data folder
// (GenericDataLocation) then lies in <home>/.local/share and the documents
// folder is <home>/Documents.
//
// Call kzp::test::useTemporaryHome() at the very start of initTestCase (before
// anything asks QStandardPaths), or put KZP_TEMPORARY_HOME() once at file scope
// to do it before main() runs.
//
// kzp::test::PrivateHome instead gives one test object a home of its own.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace kzp::test {

inline QString useTemporaryHome() {
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/kzp-home-XXXXXX"));
    static const bool done = [] {
        const QString root = home.path();
        const auto point = [&root](const char* variable, const QString& relative) {
            const QString path = root + relative;
            QDir().mkpath(path);
            qputenv(variable, QFile::encodeName(path));
        };
        point("HOME", QString());
        point("XDG_DATA_HOME", QStringLiteral("/.local/share"));
        point("XDG_CONFIG_HOME", QStringLiteral("/.config"));
        point("XDG_CACHE_HOME", QStringLiteral("/.cache"));
        point("XDG_RUNTIME_DIR", QStringLiteral("/runtime"));
        QFile::setPermissions(root + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return true;
    }();
    Q_UNUSED(done);
    return home.path();
}

// A private home for one test object: HOME and XDG_DATA_HOME point into a
// temporary folder while it lives. Must exist before anything uses
// QStandardPaths.
struct PrivateHome {
    QTemporaryDir dir;
    PrivateHome() {
        qputenv("HOME", dir.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toLocal8Bit());
    }
    QString dataFolder() const { return dir.path() + "/data/Kestrune Zyl Player/"; }
    QString path(const QString& name) const { return dir.path() + "/" + name; }
};

} // namespace kzp::test

#define KZP_TEMPORARY_HOME()                                                                                 \
    namespace {                                                                                              \
    const QString kzpTemporaryHome = kzp::test::useTemporaryHome();                                          \
    }
