#pragma once

// A real window manager (openbox) on the test's X display, with margins that
// leave a work area smaller than the screen, as task bars and docks do; and
// where windows are on the screen, read with xprop and xwininfo. Header-only.

#include <QList>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include "common/Files.h"
#include "common/Processes.h"
#include "common/Wait.h"

namespace kzp::test::x11 {

inline QList<int> numbersOf(const QString& text) {
    QList<int> numbers;
    static const QRegularExpression number(QStringLiteral("-?\\d+"));
    for (auto it = number.globalMatch(text); it.hasNext();)
        numbers << it.next().captured().toInt();
    return numbers;
}

// The property's values after its "=" (xprop prints "NAME(TYPE) = 1, 2, 3").
inline QList<int> cardinals(const QStringList& where, const QString& property) {
    const QString line = outputOf(QStringLiteral("xprop"), where + QStringList{property});
    const int equals = int(line.indexOf(QLatin1Char('=')));
    return equals < 0 ? QList<int>() : numbersOf(line.mid(equals + 1));
}

inline QRect workArea() {
    const QList<int> values = cardinals({"-root"}, "_NET_WORKAREA");
    return values.size() >= 4 ? QRect(values[0], values[1], values[2], values[3]) : QRect();
}

// Where a window's contents are on the screen, without the frame.
inline QRect clientRect(const QString& window) {
    const QString info = outputOf(QStringLiteral("xwininfo"), {"-id", window});
    auto field = [&info](const char* name) {
        static const QRegularExpression digits(QStringLiteral("(-?\\d+)"));
        const int at = int(info.indexOf(QLatin1String(name)));
        return at < 0 ? -1 : digits.match(info, at).captured(1).toInt();
    };
    return QRect(field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"),
                 field("Height:"));
}

// The whole window, the window manager's frame included.
inline QRect frameRect(const QString& window) {
    const QList<int> extents = cardinals({"-id", window}, "_NET_FRAME_EXTENTS"); // left, right, top, bottom
    if (extents.size() != 4)
        return QRect();
    return clientRect(window).marginsAdded(QMargins(extents[0], extents[2], extents[1], extents[3]));
}

inline QString text(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// openbox with the system's set-up, margins leaving `area` of a screen of
// `screen`, no iconify animation (windows come back from their icons at once,
// not sliding across the screen while the test clicks them), and Super+F11
// toggling full screen (a key of the window manager's own).
class Openbox {
public:
    QProcess process;

    ~Openbox() {
        process.terminate();
        process.waitForFinished(5000);
    }

    // Empty once the work area is `area`; otherwise what went wrong.
    QString start(const QString& folder, const QSize& screen, const QRect& area) {
        QString config = QString::fromUtf8(readBytes("/etc/xdg/openbox/rc.xml"));
        const QString margins = QStringLiteral("<margins><top>%1</top><bottom>%2</bottom><left>%3</left>"
                                               "<right>%4</right></margins>")
                                    .arg(area.top())
                                    .arg(screen.height() - area.bottom() - 1)
                                    .arg(area.left())
                                    .arg(screen.width() - area.right() - 1);
        static const QRegularExpression oldMargins(QStringLiteral("<margins>.*</margins>"),
                                                   QRegularExpression::DotMatchesEverythingOption);
        config.replace(QStringLiteral("<animateIconify>yes</animateIconify>"),
                       QStringLiteral("<animateIconify>no</animateIconify>"));
        const QString fullScreenKey =
            QStringLiteral("<keybind key=\"W-F11\"><action name=\"ToggleFullscreen\"/></keybind>");
        if (config.contains(oldMargins) && config.contains(QLatin1String("<keyboard>"))) {
            config.replace(oldMargins, margins);
            config.replace(QLatin1String("<keyboard>"), QLatin1String("<keyboard>") + fullScreenKey);
        } else {
            config = QStringLiteral(
                         "<?xml version=\"1.0\"?><openbox_config xmlns=\"http://openbox.org/3.4/rc\">") +
                     margins + QStringLiteral("<keyboard>") + fullScreenKey + QStringLiteral("</keyboard>") +
                     QStringLiteral("<theme><animateIconify>no</animateIconify></theme></openbox_config>");
        }
        const QString rc = folder + QStringLiteral("/rc.xml");
        if (!writeBytes(rc, config.toUtf8()))
            return QStringLiteral("cannot write %1").arg(rc);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", folder);
        env.insert("XDG_CONFIG_HOME", folder + QStringLiteral("/config"));
        env.insert("XDG_CACHE_HOME", folder + QStringLiteral("/cache"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        // The display must answer before a window manager can take it; one that
        // still gave up on it is started again.
        auto wait = [](const auto& done) { return kzp::test::waitUntil(done, 30000, 30, 20); };
        if (!wait([] { return runProgram("xprop", {"-root", "-len", "0"}, 5000).succeeded(); }))
            return QStringLiteral("the X display does not answer");
        QByteArray said;
        for (int attempt = 0; attempt < 3; ++attempt) {
            process.start("openbox", {"--sm-disable", "--config-file", rc});
            if (!process.waitForStarted())
                return QStringLiteral("openbox does not start");
            const bool managed =
                wait([&] { return workArea() == area || process.state() == QProcess::NotRunning; }) &&
                workArea() == area;
            if (managed)
                return QString();
            if (process.state() == QProcess::Running)
                break; // running, but the work area never came
            process.waitForFinished(1000);
            said += process.readAll();
        }
        return QStringLiteral("work area %1; openbox said: %2")
            .arg(text(workArea()), QString::fromLocal8Bit(said));
    }
};

} // namespace kzp::test::x11
