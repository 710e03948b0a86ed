#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

class QComboBox;
class QLineEdit;
class QMouseEvent;

// Preferences: the snapshot folder (stored in OutputPath.txt) and the snapshot
// image format (kept by the caller for the run). Frameless, modal, dragged
// with the left mouse button. Return is OK, Escape is Cancel; the minimise
// button minimises the whole application (see ModalGroup).
class CProcessUI : public QDialog {
    Q_OBJECT

public:
    CProcessUI();
    ~CProcessUI() override;

    // Builds the contents; call after setFormatIndex().
    void setupPreferences();

    int resultFlag() const { return result; }
    int formatIndex() const { return chosenFormat; }
    void setFormatIndex(int index) { chosenFormat = index; }
    // Chooses the entry reading `text`; the first (JPEG) when none does.
    void setFormatText(const QString& text);
    QString formatText() const;
    QString folder() const { return folderText; }
    QLineEdit* folderField() const { return folderEdit; }
    QComboBox* formatBox() const { return formats; }

    // Placed over the main window when the caller did not place it.
    void setVisible(bool visible) override;

public slots:
    void btnCloseSlot();
    void btnOpenFolder();
    void btnOK();
    void btnChoosePath();
    void btnMinSlot();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

    // The folder chooser; a null string means the user cancelled.
    virtual QString chooseFolder();

private:
    int result = 1;
    QString folderText;
    QPoint dragOffset;
    QComboBox* formats = nullptr;
    int chosenFormat = 0;
    QLineEdit* folderEdit = nullptr;
};
