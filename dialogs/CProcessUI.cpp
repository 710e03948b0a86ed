#include "dialogs/CProcessUI.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "dialogs/ModalGroup.h"

namespace {

constexpr int kWidth = 680;

// The snapshot formats offered, in the order of their indexes.
const QStringList kFormats = {QStringLiteral("JPEG"), QStringLiteral("PNG"), QStringLiteral("BMP")};

// The whitespace between the pieces has no effect on the style.
const QString kBlueButtonStyle =
    QStringLiteral("QPushButton{background-color:rgb(48, 81, 109);"
                   "\t\t\t\t\t\t\t\t   "
                   "color: white; border-radius: 5px; border: 2px groove white;"
                   "\t\t\t\t\t\t\t\t   "
                   "border-style: outset;}QPushButton:hover{background-color:rgb("
                   "156, 156, 156); }QPushButton:pressed{background-color:rgb(156, "
                   "156, 156);border: 2px groove white;"
                   "\t\t\t\t\t\t\t\t   "
                   "border-style: inset; }");

QFont calibri(int points, bool bold = false) {
    QFont font(QStringLiteral("Calibri"), points);
    font.setBold(bold);
    return font;
}

QPushButton* makeImageButton(const QString& picture, QWidget* parent, int x) {
    auto* button = new QPushButton(parent);
    const QPixmap pixmap(picture);
    button->move(x, 0);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.size());
    button->resize(pixmap.size());
    button->setStyleSheet(QStringLiteral("border:none"));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QPushButton* makeBlueButton(const QString& text, QWidget* parent, const QRect& geometry) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    button->setFont(calibri(11));
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(kBlueButtonStyle);
    // Grows where a language's caption needs more room (German "Durchsuchen",
    // the taller CJK glyphs).
    button->resize(geometry.size().expandedTo(button->sizeHint()));
    return button;
}

// The application's style, except that a combo box's list opens under the
// box (as a drop-down) instead of over it.
class DropDownStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QLabel* makeLabel(const QString& text, QWidget* parent, const QRect& geometry) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setGeometry(geometry);
    label->setWordWrap(true);
    label->setFont(calibri(11));
    label->setStyleSheet(QStringLiteral("color: black;"));
    return label;
}

} // namespace

CProcessUI::CProcessUI() : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint) {
    setFixedSize(kWidth, 250);
    resize(kWidth, 250);
    setWindowTitle(caption("MainWnd/RegisterTitle"));
    setWindowIcon(QIcon(QStringLiteral(":/image/logo.ico")));
    // Without a parent, application-modal keeps it above the main window while
    // the window manager still gives it its own task-bar entry.
    setWindowModality(Qt::ApplicationModal);
    setObjectName(QStringLiteral("CProcessUI"));
    new ModalGroup(this);
}

CProcessUI::~CProcessUI() {
    delete formats;
    formats = nullptr;
}

void CProcessUI::setFormatText(const QString& text) {
    chosenFormat = qMax(0, kFormats.indexOf(text));
}

QString CProcessUI::formatText() const {
    return formats ? formats->currentText() : QString();
}

void CProcessUI::setupPreferences() {
    // Title strip.
    auto* titleLayout = new QHBoxLayout;
    titleLayout->setSpacing(0);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    auto* titleStrip = new QLabel(this);
    titleStrip->setObjectName(QStringLiteral("titleStrip"));
    titleStrip->setMinimumSize(kWidth, 40);
    titleStrip->setStyleSheet(QStringLiteral("background-color: rgb(69, 78, 93);"));
    QPushButton* minButton = makeImageButton(QStringLiteral(":/image/min.png"), titleStrip, kWidth - 60);
    minButton->setObjectName(QStringLiteral("minButton"));
    ModalGroup::makeStripButton(minButton);
    connect(minButton, SIGNAL(clicked()), this, SLOT(btnMinSlot()));
    QPushButton* closeButton = makeImageButton(QStringLiteral(":/image/close.png"), titleStrip, kWidth - 30);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    ModalGroup::makeStripButton(closeButton);
    connect(closeButton, SIGNAL(clicked()), this, SLOT(btnCloseSlot()));
    auto* heading = new QLabel(caption("MainWnd/Preferences"), titleStrip);
    heading->setObjectName(QStringLiteral("heading"));
    heading->setTextFormat(Qt::PlainText);
    heading->setGeometry(150, 5, 300, 30);
    heading->setAlignment(Qt::AlignCenter);
    heading->setFont(calibri(12, true));
    heading->setStyleSheet(QStringLiteral("color: white;"));
    titleLayout->addWidget(titleStrip);

    // Body.
    auto* bodyLayout = new QVBoxLayout;
    bodyLayout->setContentsMargins(20, 0, 0, 0);
    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("body"));
    body->setMinimumSize(kWidth - 80, 180);
    makeLabel(caption("MainWnd/SnapshotFolder") + QStringLiteral(": "), body, QRect(20, 10, 150, 25))
        ->setObjectName(QStringLiteral("folderLabel"));
    folderText = readOutputPath(dataFolderPath());
    if (folderText.isEmpty())
        folderText = defaultSnapshotFolder();
    folderEdit = new QLineEdit(folderText, body);
    folderEdit->setObjectName(QStringLiteral("folderField"));
    folderEdit->setGeometry(180, 10, 250, 25);
    folderEdit->setFont(calibri(11));
    folderEdit->setEnabled(false);
    QPushButton* browse = makeBlueButton(caption("MainWnd/Browse"), body, QRect(440, 10, 80, 25));
    browse->setObjectName(QStringLiteral("browseButton"));
    connect(browse, SIGNAL(clicked()), this, SLOT(btnChoosePath()));
    QPushButton* open = makeBlueButton(caption("MainWnd/Open"), body, QRect(530, 10, 80, 25));
    open->setObjectName(QStringLiteral("openButton"));
    open->move(qMax(open->x(), browse->geometry().right() + 11), open->y());
    connect(open, SIGNAL(clicked()), this, SLOT(btnOpenFolder()));
    makeLabel(caption("MainWnd/SnapshotFormat") + QStringLiteral(": "), body, QRect(20, 40, 150, 25))
        ->setObjectName(QStringLiteral("formatLabel"));
    formats = new QComboBox(body);
    formats->setObjectName(QStringLiteral("formatBox"));
    formats->setGeometry(180, 40, 150, 25);
    formats->setFont(calibri(12));
    formats->addItems(kFormats);
    formats->setCurrentIndex(chosenFormat);
    // The list drops down under the box instead of covering it.
    auto* dropDown = new DropDownStyle;
    dropDown->setParent(this); // outlives the box, which the destructor deletes first
    formats->setStyle(dropDown);
    bodyLayout->addWidget(body);

    // Button strip.
    auto* buttonLayout = new QVBoxLayout;
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    auto* buttonStrip = new QLabel(this);
    buttonStrip->setObjectName(QStringLiteral("buttonStrip"));
    buttonStrip->setMinimumSize(kWidth, 40);
    QPushButton* ok = makeBlueButton(caption("MainWnd/OK"), buttonStrip, QRect(220, 0, 80, 30));
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true); // Return confirms; Escape cancels (QDialog's reject)
    connect(ok, SIGNAL(clicked()), this, SLOT(btnOK()));
    QPushButton* cancel = makeBlueButton(caption("MainWnd/Cancel"), buttonStrip, QRect(360, 0, 80, 30));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(cancel, SIGNAL(clicked()), this, SLOT(btnCloseSlot()));
    buttonLayout->addWidget(buttonStrip);

    auto* spacer = new QLabel(this);
    spacer->setMinimumSize(kWidth, 10);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(titleLayout);
    layout->addLayout(bodyLayout);
    layout->addLayout(buttonLayout);
    layout->addWidget(spacer);

    // The keyboard starts on the one choice made here, so Return means OK.
    formats->setFocus();
}

void CProcessUI::setVisible(bool visible) {
    if (visible && !testAttribute(Qt::WA_Moved))
        ModalGroup::placeOverActiveWindow(this);
    QDialog::setVisible(visible);
}

QString CProcessUI::chooseFolder() {
    return QFileDialog::getExistingDirectory(this, QString(), QString(), QFileDialog::ShowDirsOnly);
}

void CProcessUI::btnChoosePath() {
    const QString picked = chooseFolder();
    if (picked.isNull())
        return;
    // Stored folders keep their trailing separator; "/" itself already has one.
    folderText = picked.endsWith(QLatin1Char('/')) ? picked : picked + QLatin1Char('/');
    if (folderEdit)
        folderEdit->setText(folderText);
}

void CProcessUI::btnOpenFolder() {
    if (!QDir(folderText).exists())
        QDir().mkpath(folderText);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folderText));
}

void CProcessUI::btnOK() {
    if (formats)
        chosenFormat = formats->currentIndex();
    // A failed write is not reported: the stored folder keeps its old value.
    writeOutputPath(dataFolderPath(), folderText);
    result = 0;
    close();
}

void CProcessUI::btnCloseSlot() {
    close();
}

void CProcessUI::btnMinSlot() {
    // Never this dialog alone: it would leave the main window locked behind it.
    ModalGroup::minimiseApplication();
}

void CProcessUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
    }
}

void CProcessUI::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::LeftButton) {
        move(event->globalPosition().toPoint() - dragOffset);
        event->accept();
    }
}
