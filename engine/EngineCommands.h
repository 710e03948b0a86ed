#pragma once

// The engine's command line and its one-line stdin commands.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "engine/Source.h"

// How long a quit may take before the engine is killed (window close, rebuild).
inline constexpr int kEngineQuitGraceMs = 1500;

// The full argument list: fixed options, the window to draw into, the
// screenshot prefix (the data folder, trailing separator included), the
// source-kind options and the source path last.
QStringList engineArguments(quint64 windowId, const QString& screenshotFolder, const Source& source);

// The name the engine prints after "Playing ": the source argument, which is
// the last one, or, where the last one is the value of a "-...-device" option,
// the one before that option (a disc's "dvd://1" or "br://N").
QString enginePlayingName(const QStringList& arguments);

namespace engine_commands {
inline QByteArray line(const QByteArray& text) {
    return text + '\n';
}
inline QByteArray quit() {
    return QByteArrayLiteral("q\n");
}
inline QByteArray pause() {
    return QByteArrayLiteral("pause\n");
}
inline QByteArray timeLength() {
    return QByteArrayLiteral("get_time_length\n");
}
inline QByteArray timePosition() {
    return QByteArrayLiteral("get_time_pos\n");
}
inline QByteArray screenshot() {
    return QByteArrayLiteral("screenshot 0\n");
}
inline QByteArray seek(qint64 seconds) {
    return "seek " + QByteArray::number(seconds) + " 2\n";
}
inline QByteArray volume(int value) {
    return "volume " + QByteArray::number(value) + " 2\n";
}
// The mute button's absolute volume (0 or 50).
inline QByteArray volumeAbsolute(int value) {
    return "volume " + QByteArray::number(value) + " 100\n";
}
inline QByteArray volumeKeepPause(int value) {
    return "pausing_keep volume " + QByteArray::number(value) + " 100\n";
}
inline QByteArray switchAudio(int track) {
    return "switch_audio " + QByteArray::number(track) + '\n';
}
inline QByteArray switchAudioKeepPause(int track) {
    return "pausing_keep switch_audio " + QByteArray::number(track) + '\n';
}
inline QByteArray subtitle(int track) {
    return "sub_demux " + QByteArray::number(track) + '\n';
}
inline QByteArray subtitleKeepPause(int track) {
    return "pausing_keep sub_demux " + QByteArray::number(track) + '\n';
}
// Sound balance: -1 left only, 0 both, 1 right only.
inline QByteArray balanceKeepPause(int side) {
    return "pausing_keep balance " + QByteArray::number(side) + " 1\n";
}
} // namespace engine_commands
