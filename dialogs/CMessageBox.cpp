#include "dialogs/CMessageBox.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/LanguageManager.h"
#include "dialogs/ModalGroup.h"

namespace {

QFont calibri12() {
    QFont font(QStringLiteral("Calibri"), 12);
    font.setWeight(QFont::Normal);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

CMessageBox::CMessageBox() : QDialog(nullptr) {
    // Frameless, no parent (its own task-bar entry), blocking the whole
    // application while it runs.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(caption("MainWnd/FreeTitle"));
    setWindowIcon(QIcon(QStringLiteral(":/image/logo.ico")));
    setFixedSize(400, 180);
    resize(400, 180);
    resultCode = 1;
    new ModalGroup(this);
}

CMessageBox::~CMessageBox() = default;

void CMessageBox::setupInformation(const QString& text) {
    const int w = width();

    auto* titleLayout = new QHBoxLayout;
    titleLayout->setSpacing(0);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    auto* titleStrip = new QLabel(this);
    titleStrip->setObjectName(QStringLiteral("titleStrip"));
    titleStrip->setMinimumSize(w, 20);
    titleStrip->setStyleSheet(QStringLiteral("background-color: rgb(69, 78, 93);"));
    auto* titleText = new QLabel(QStringLiteral("  ") + caption("Messages/MSG0403"), titleStrip);
    titleText->setObjectName(QStringLiteral("titleText"));
    titleText->setTextFormat(Qt::PlainText);
    titleText->setGeometry(0, 5, w, 20);
    titleText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titleText->setFont(calibri12());
    setTextColour(titleText, Qt::white);
    titleLayout->addWidget(titleStrip);

    auto* bodyLayout = new QHBoxLayout;
    bodyLayout->setContentsMargins(5, 0, 0, 0);
    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    iconLabel->setPixmap(QPixmap(QStringLiteral(":/image/information.png")));
    iconLabel->setAlignment(Qt::AlignCenter);
    bodyLayout->addWidget(iconLabel);
    messageLabel = new QLabel(this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    // Messages may name files and folders: shown as typed, never read as HTML.
    messageLabel->setTextFormat(Qt::PlainText);
    messageLabel->setMinimumSize(w - 80, 60);
    setTextColour(messageLabel, Qt::black);
    messageLabel->setFont(calibri12());
    messageLabel->setWordWrap(true);
    messageLabel->setText(text);
    bodyLayout->addWidget(messageLabel);

    auto* buttonStrip = new QLabel(this);
    buttonStrip->setObjectName(QStringLiteral("buttonStrip"));
    buttonStrip->setMinimumSize(w, 40);
    buttonStrip->setStyleSheet(QStringLiteral("background-color: rgb(220, 220, 220);"));
    okButton = new QPushButton(caption("MainWnd/OK"), buttonStrip);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(w / 3, 5, 80, 25);
    okButton->setFont(calibri12());
    okButton->setFlat(true);
    okButton->setCursor(Qt::PointingHandCursor);
    okButton->setStyleSheet(QLatin1String(kzp::styles::greyButton));
    // Grows where a language's caption needs more room than the classic size.
    okButton->resize(okButton->size().expandedTo(okButton->sizeHint()));
    connect(okButton, SIGNAL(clicked()), this, SLOT(btnSlotOK()));
    // Return is OK, Escape closes (QDialog's reject leaves resultCode at 1).
    okButton->setDefault(true);
    okButton->setFocus();

    auto* lowerLayout = new QVBoxLayout;
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addLayout(bodyLayout);
    lowerLayout->addWidget(buttonStrip);

    auto* outerLayout = new QVBoxLayout;
    outerLayout->setSpacing(20);
    outerLayout->setContentsMargins(0, 0, 0, 0);
    outerLayout->addLayout(titleLayout);
    outerLayout->addLayout(lowerLayout);
    setLayout(outerLayout);
}

void CMessageBox::setVisible(bool visible) {
    if (visible && !testAttribute(Qt::WA_Moved))
        ModalGroup::placeOverActiveWindow(this);
    QDialog::setVisible(visible);
}

void CMessageBox::btnSlotOK() {
    resultCode = 0;
    close();
}

void CMessageBox::btnSlotNO() {
    resultCode = 1;
    close();
}

void CMessageBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
    } else if (event->button() == Qt::RightButton) {
        close();
    }
}

void CMessageBox::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::LeftButton) {
        move(event->globalPosition().toPoint() - dragOffset);
        event->accept();
    }
}

void CMessageBox::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
}
