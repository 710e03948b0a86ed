#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a normal end of the event loop, so that the
// main window is destroyed (and the engine ended) as on a regular close.
// The signal handler only writes a byte to a socket pair; the event loop reads
// it and quits.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    void signalled();

    QSocketNotifier* notifier = nullptr;
};
