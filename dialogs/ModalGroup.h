#pragma once

#include <QObject>
#include <QPointer>

class QDialog;
class QPushButton;
class QWidget;

// What the player's frameless modal dialogs share.
//
// A modal dialog blocks every other window of the player, so it must never
// disappear on its own: the main window would stay on screen, locked behind
// a dialog nobody can see (and without a task bar, nothing brings it back).
// While a ModalGroup's dialog is shown, the application minimises and
// restores as a whole: when the dialog is minimised (its own button, or the
// window manager) the other windows go with it, and when any of them is
// restored (its task-bar entry, a window switcher) the dialog comes back on
// top of them.
class ModalGroup : public QObject {
    Q_OBJECT

public:
    explicit ModalGroup(QDialog* dialog);

    // Minimises every window of the application, the dialog included.
    static void minimiseApplication();

    // A title-strip button: the mouse clicks it, the keyboard never focuses it
    // and Return never presses it.
    static void makeStripButton(QPushButton* button);

    // Puts a dialog that was not placed explicitly over the active window (or
    // the middle of the screen), inside the work area. When the window manager
    // places a window, the toolkit's idea of where it is can stay at the
    // screen's corner, and pop-ups placed from it (a combo box's list) open
    // far from their box.
    static void placeOverActiveWindow(QWidget* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow(QWidget* changed);

    QPointer<QDialog> dialog;
    bool following = false;
};
