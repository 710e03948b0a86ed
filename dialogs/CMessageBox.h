#pragma once

#include <QDialog>
#include <QPoint>

class QLabel;
class QMouseEvent;
class QPaintEvent;

namespace kzp::styles {
// Grey rounded push button of the dialogs. The runs of blanks between the
// pieces are inert; they are kept so the text matches the other windows'.
inline constexpr const char* greyButton =
    "QPushButton{background-color:rgb(191, 191, 191);"
    "\t\t\t\t\t\t\t\t   "
    "border-radius: 10px; border: 2px groove white;"
    "\t\t\t\t\t\t\t\t   "
    "border-style: outset;}QPushButton:hover{background-color:rgb(156, 156, 156); }"
    "QPushButton:pressed{background-color:rgb(156, 156, 156);border: 2px groove white;"
    "\t\t\t\t\t\t\t\t   "
    "border-style: inset; }";
} // namespace kzp::styles

// The player's frameless, modal message box: a dark title strip, an
// information icon, the message and one OK button. Dragged with the left
// mouse button; a right click or Escape closes it, Return is OK. Never
// minimised alone (see ModalGroup).
class CMessageBox : public QDialog {
    Q_OBJECT

public:
    CMessageBox();
    ~CMessageBox() override;

    // Builds the contents for an information message showing `text`.
    void setupInformation(const QString& text);

    // Placed over the main window when the caller did not place it.
    void setVisible(bool visible) override;

    QPoint dragOffset;  // window top-left to the mouse when a left-button drag began
    int resultCode = 1; // 0 only after OK
    QLabel* messageLabel = nullptr;
    class QPushButton* okButton = nullptr;

public slots:
    void btnSlotOK();
    void btnSlotNO();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
