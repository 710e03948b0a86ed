#pragma once

// Snapshot file names and formats.

#include <QDateTime>
#include <QString>

// "Snapshot-YYYY-MM-DD hh-mm-ss.<extension>" (no folder).
QString snapshotBaseName(const QDateTime& when, const QString& extension);
// The image format to save with: "PNG", "BMP", and "JPEG" for anything else.
const char* snapshotImageFormat(const QString& snapshotFormat);

// Which of the engine's "*** screenshot '<path>' ***" reports the player acts
// on. The engine echoes media tags and file names verbatim, so such a line may
// be outside text naming any file. A report is taken only as the answer to a
// snapshot the user asked for (one file per request), and only for a file the
// engine could have written there: a regular file (no link) directly inside
// the screenshot folder the player gave the engine, named as the engine names
// its files ("NNNN.png"). Nothing else is ever opened or removed.
class EngineSnapshots {
public:
    // A new engine writes its screenshots into `folder`; no request is pending.
    void begin(const QString& folder);
    // The engine is gone or its source ended: pending requests lapse.
    void end();
    // The user asked for a snapshot. False (nothing pending) without an engine.
    bool request();
    int pending() const { return requests; }
    QString folder() const { return shotFolder; }

    enum class Report {
        Ignored, // not an answer to a request: nothing is done with it
        NotYet,  // would be taken, but the file is not there yet (the engine
                 // reports a name before it writes the file): ask again
        Taken,   // `name` is the file, a plain name inside folder(); one request used
    };
    // Judges a report by the name between its quotes.
    Report take(const QByteArray& reportedPath, QString* name);

    // The bytes of a taken file, read only if it is still a regular file of at
    // most kMaxEngineShotBytes (empty otherwise), and its removal.
    QByteArray read(const QString& name) const;
    bool remove(const QString& name) const;

private:
    QString shotFolder; // absolute, trailing separator
    int requests = 0;
};

// The largest engine screenshot read (a PNG of an 8K frame fits).
inline constexpr qint64 kMaxEngineShotBytes = 256 * 1024 * 1024;

// True for the engine's own screenshot names: "%04d.png" of 1 to 99999999,
// i.e. four or more digits without a superfluous leading zero.
bool isEngineShotName(const QString& name);

// A whole PNG file: signature at the start, end chunk at the end (the engine
// may still be writing the file when its report is read).
bool isCompletePng(const QByteArray& bytes);
