// Construction of the main window: frame, state, and the widget tree.

#include "ui/DRUI.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "media/ProbeBatch.h"
#include "ui/Styles.h"

namespace {

QFont calibri(int points, bool bold = false) {
    QFont font(QStringLiteral("Calibri"), points);
    font.setBold(bold);
    return font;
}

void makeTextWhite(QWidget* widget) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, Qt::white);
    widget->setPalette(palette);
}

// The start page's background: the picture fills the page at any size without
// being distorted (cropped, centred, when the aspect differs). It is decoded on
// the first paint, at the size the page needs, rather than at full resolution
// while the window is built: start-up stays quick and the decoded picture
// costs memory for the pixels shown only. Growing the page decodes it again.
class BackgroundLabel : public QLabel {
public:
    BackgroundLabel(const QString& picturePath, QWidget* parent) : QLabel(parent), path(picturePath) {
        setScaledContents(true);
        setObjectName(QStringLiteral("startBackground"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (cacheTooSmall())
            decode();
        if (picture.isNull())
            return;
        const QSize target = picture.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
        const QRect area((width() - target.width()) / 2, (height() - target.height()) / 2, target.width(),
                         target.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(area, picture);
    }

private:
    bool cacheTooSmall() const {
        if (failed)
            return false;
        return picture.isNull() || picture.width() < width() || picture.height() < height();
    }

    void decode() {
        QImageReader reader(path);
        const QSize full = reader.size();
        if (!full.isValid()) {
            failed = true;
            return;
        }
        const QSize wanted = full.scaled(size().expandedTo(QSize(1, 1)), Qt::KeepAspectRatioByExpanding);
        if (wanted.width() < full.width())
            reader.setScaledSize(wanted);
        const QImage image = reader.read();
        failed = image.isNull();
        picture = QPixmap::fromImage(image);
    }

    QString path;
    QPixmap picture;
    bool failed = false;
};

QPushButton* makeStartButton(const QString& text, const QString& picture, QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("   ") + text, parent);
    const QPixmap pixmap(picture);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.size());
    button->setFont(calibri(20, true));
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QLatin1String(kzp::styles::bigButton));
    // Not stretched across the page, but never narrower than its caption.
    button->setMaximumWidth(qMax(300, button->sizeHint().width()));
    button->setMinimumHeight(85);
    return button;
}

// The menu buttons keep their 100 x 20 pixels where the caption fits, and grow
// where a language needs more (long words, the taller CJK glyphs); the ones
// after a wider button move along, and the strip grows with the tallest.
void fitMenuButtons(const QList<QPushButton*>& buttons, QWidget* strip) {
    int x = 0;
    int height = 20;
    for (QPushButton* button : buttons)
        height = qMax(height, button->sizeHint().height());
    for (QPushButton* button : buttons) {
        const int width = qMax(100, button->sizeHint().width());
        button->setGeometry(x, 1, width, height);
        x += width;
    }
    strip->setMinimumWidth(x);
    strip->setMinimumHeight(qMax(strip->minimumHeight(), height + 2));
}

} // namespace

DRUI::DRUI(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags) {
    registerPlayListInfoType();
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("DRUIClass"));
    resize(800, 600);
    centralWidget = new QWidget(this);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(centralWidget);
    setWindowTitle(QCoreApplication::translate("DRUIClass", "DRUI"));
    QMetaObject::connectSlotsByName(this);

    centralWidget->setStyleSheet(QLatin1String(kzp::styles::centralBackground));
    setWindowTitle(caption("MainWnd/ProTitle"));
    connect(&probes, &ProbeBatch::progress, this, &DRUI::showProbeProgress);
    connect(&discScan, &DiscScanJob::progress, this, &DRUI::showProbeProgress);
    resize(1000, 680);
    setAcceptDrops(true);
    setWindowIcon(QIcon(QStringLiteral(":/image/logo.ico")));

    controller = new PlaybackController(this);
    setEnginePath(QString());
    controller->prepareEngine();
    controller->setWindowIdProvider([this] { return videoSurface ? quint64(videoSurface->winId()) : 0; });
    connectController();
}

DRUI::~DRUI() {
    // Whatever ends the program, no engine may keep playing without a window,
    // and no probe or disc scan may run on (the addFiles() or buildDiscMenus()
    // waiting for them then returns).
    probes.cancel();
    discScan.cancel();
    endEngine();
    controller->disconnect(this);
    qDeleteAll(topMenus);
    topMenus.clear();
}

void DRUI::setupWindow() {
    // The engine draws into videoSurface, which is about to be destroyed.
    endEngine();

    delete pageStack;
    delete rootStack;
    pageStack = new QStackedLayout;
    rootStack = new QStackedLayout;

    createWidgets();

    rootStack->addWidget(rootWidget);
    rootStack->setCurrentWidget(rootWidget);
    rootStack->setContentsMargins(0, 0, 0, 0);

    if (!centralLayout)
        centralLayout = new QVBoxLayout;
    centralLayout->addLayout(rootStack);
    centralLayout->setSpacing(0);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    if (centralWidget->layout() != centralLayout)
        centralWidget->setLayout(centralLayout);

    prepareDataFolder();
    playList.clear();
    // The new widgets show the start page and empty track menus.
    controller->showPage(Page::Start);
    controller->setTrackMenuSizes(0, 0);
    raise();
}

void DRUI::prepareDataFolder() {
    controller->setDataFolder(::prepareDataFolder(QCoreApplication::applicationDirPath()));
}

QObject* DRUI::part(const QString& objectName) const {
    if (QObject* found = findChild<QObject*>(objectName))
        return found;
    // Menus without a parent widget are not in the tree.
    for (const QList<QMenu*>* menus : {&topMenus, &discPopups}) {
        for (QMenu* menu : *menus) {
            if (menu->objectName() == objectName)
                return menu;
            if (QObject* found = menu->findChild<QObject*>(objectName))
                return found;
        }
    }
    return nullptr;
}

QPushButton* DRUI::createBarButton(const QString& picture, void (DRUI::*slot)()) {
    auto* button = new QPushButton(this);
    const QPixmap pixmap(picture);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.size());
    button->setFixedSize(pixmap.size());
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QPushButton::clicked, this, slot);
    return button;
}

void DRUI::createWidgets() {
    if (rootWidget) {
        // Detached first and freed later: this can run from inside a menu of
        // the old tree (the language switch).
        rootWidget->hide();
        rootWidget->setParent(nullptr);
        rootWidget->deleteLater();
        rootWidget = nullptr;
    }
    // Parentless pop-ups of the previous build go the same way.
    for (QMenu* menu : std::as_const(topMenus))
        menu->deleteLater();
    topMenus.clear();
    menuButtons.clear();

    rootWidget = new QWidget(this);
    rootWidget->setObjectName(QStringLiteral("rootWidget"));
    auto* rootLayout = new QVBoxLayout(rootWidget);
    rootLayout->setSpacing(0);
    rootLayout->setContentsMargins(0, 0, 0, 0);

    // 1. Menu strip with the six menu buttons.
    auto* stripLayout = new QVBoxLayout;
    menuStrip = new QLabel(rootWidget);
    menuStrip->setObjectName(QStringLiteral("menuStrip"));
    menuStrip->setStyleSheet(QStringLiteral("background-color: rgb(239, 242, 249);"));
    // As narrow as its buttons allow: a small screen must still show the whole window.
    menuStrip->setMinimumHeight(22);
    for (int i = 1; i <= 6; ++i)
        createMenuButton(i, (i - 1) * 100, menuStrip);
    fitMenuButtons(menuButtons, menuStrip);
    stripLayout->addWidget(menuStrip, 1);
    rootLayout->addLayout(stripLayout);

    // 2. Video area and play list.
    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->addLayout(pageStack, 8);
    createPlayListTable();
    if (playListTable) {
        middle->addWidget(playListTable, 2);
        playListTable->hide();
    }
    rootLayout->addLayout(middle, 60);

    // Page 0: start page.
    auto* startPage = new QWidget(this);
    startPage->setObjectName(QStringLiteral("startPage"));
    auto* startPageLayout = new QHBoxLayout(startPage);
    startPageLayout->setContentsMargins(0, 0, 0, 0);
    auto* background = new BackgroundLabel(QStringLiteral(":/image/bg.jpg"), startPage);
    startPageLayout->addWidget(background);
    auto* backgroundLayout = new QHBoxLayout(background);
    auto* column = new QVBoxLayout;
    auto* upper = new QVBoxLayout;
    upper->addStretch(1);
    startTitleLabel = new QLabel(caption("MainWnd/ProTitle"), background);
    startTitleLabel->setObjectName(QStringLiteral("startTitleLabel"));
    startTitleLabel->setTextFormat(Qt::PlainText);
    startTitleLabel->setFont(calibri(40));
    makeTextWhite(startTitleLabel);
    startTitleLabel->setStyleSheet(QStringLiteral("background:transparent"));
    upper->addWidget(startTitleLabel);
    upper->addStretch(2);
    column->addLayout(upper, 1);

    startButtonColumn = new QVBoxLayout;
    openFileButton =
        makeStartButton(caption("MainWnd/OpenFile"), QStringLiteral(":/image/MoviesFolder.png"), background);
    openFileButton->setObjectName(QStringLiteral("openFileButton"));
    connect(openFileButton, &QPushButton::clicked, this, &DRUI::btnOpenFile);
    openFolderButton =
        makeStartButton(caption("MainWnd/OpenFolder"), QStringLiteral(":/image/disc.png"), background);
    openFolderButton->setObjectName(QStringLiteral("openFolderButton"));
    connect(openFolderButton, &QPushButton::clicked, this, &DRUI::btnLoadBDPath);
    startButtonColumn->addWidget(openFileButton);
    startButtonColumn->addSpacing(50);
    startButtonColumn->addWidget(openFolderButton);
    startButtonColumn->addSpacing(100);
    startButtonColumn->setContentsMargins(120, 0, 0, 0);
    column->addLayout(startButtonColumn, 1);
    backgroundLayout->addLayout(column);
    pageStack->addWidget(startPage);

    // Page 1: disc page.
    auto* discPage = new QWidget(this);
    discPage->setObjectName(QStringLiteral("discPage"));
    auto* discPageLayout = new QHBoxLayout(discPage);
    discPageLayout->setSpacing(0);
    discPageLayout->setContentsMargins(0, 0, 0, 0);
    discPictureLabel = new QLabel(discPage);
    discPictureLabel->setObjectName(QStringLiteral("discPictureLabel"));
    discPictureLabel->setScaledContents(true);
    // The disc's picture is stretched to the page; its own size must not push the window wider.
    discPictureLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    discPageLayout->addWidget(discPictureLabel);
    auto* discColumn = new QVBoxLayout(discPictureLabel);
    auto* nameRow = new QHBoxLayout;
    discNameLabel = new QLabel(caption("MainWnd/ProTitle"), discPictureLabel);
    discNameLabel->setObjectName(QStringLiteral("discNameLabel"));
    // The disc's own name goes here: a name with markup must not load pictures.
    discNameLabel->setTextFormat(Qt::PlainText);
    discNameLabel->setFont(calibri(40));
    makeTextWhite(discNameLabel);
    discNameLabel->setStyleSheet(QStringLiteral("background:transparent"));
    nameRow->addWidget(discNameLabel);
    discColumn->addLayout(nameRow, 3);
    auto* menuRow = new QHBoxLayout;
    menuRow->setSpacing(0);
    menuRow->setContentsMargins(0, 0, 0, 0);
    discMenu = new QMenu(discPictureLabel);
    discMenu->setObjectName(QStringLiteral("discMenu"));
    // An ordinary child widget embedded in the page, not a pop-up.
    discMenu->setWindowFlags(Qt::Widget);
    discMenu->setStyleSheet(QLatin1String(kzp::styles::discMenu));
    discMenu->setFont(calibri(20, true));
    makeTextWhite(discMenu);
    connect(discMenu, &QMenu::triggered, this, &DRUI::BDMenuOperate);
    discPlayMovieAction = discMenu->addAction(caption("MainWnd/PlayMovie"));
    discChapterAction = discMenu->addAction(caption("MainWnd/Chapter"));
    discAudioAction = discMenu->addAction(caption("MainWnd/Audio"));
    discSubtitleAction = discMenu->addAction(caption("MainWnd/Subtitle"));
    discTitlesAction = discMenu->addAction(caption("MainWnd/OtherTitles"));
    menuRow->addWidget(discMenu);
    menuRow->addStretch(5);
    discColumn->addLayout(menuRow, 7);
    pageStack->addWidget(discPage);

    // Page 2: video page.
    auto* videoPage = new QWidget(this);
    videoPage->setObjectName(QStringLiteral("videoPage"));
    auto* videoPageLayout = new QHBoxLayout(videoPage);
    videoPageLayout->setSpacing(0);
    videoPageLayout->setContentsMargins(0, 0, 0, 0);
    videoSurface = new QLabel(videoPage);
    videoSurface->setObjectName(QStringLiteral("videoSurface"));
    // The engine paints this window itself; Qt must neither erase nor cover it.
    videoSurface->setAttribute(Qt::WA_NativeWindow);
    videoSurface->setAttribute(Qt::WA_DontCreateNativeAncestors);
    videoSurface->setAttribute(Qt::WA_OpaquePaintEvent);
    videoSurface->setAttribute(Qt::WA_NoSystemBackground);
    videoSurface->setStyleSheet(QStringLiteral("background-color: rgb(0, 0, 0);"));
    videoSurface->setMinimumSize(1, 1);
    videoSurface->installEventFilter(this);
    videoPageLayout->addWidget(videoSurface);
    pageStack->addWidget(videoPage);
    pageStack->setCurrentIndex(0);

    // 3. Control panel: time row and button bar.
    controlPanel = new QLabel(rootWidget);
    controlPanel->setObjectName(QStringLiteral("controlPanel"));
    controlPanel->setFixedHeight(90);
    auto* panelLayout = new QVBoxLayout(controlPanel);
    panelLayout->setSpacing(0);
    panelLayout->setContentsMargins(0, 0, 0, 0);

    auto* timeRow = new QHBoxLayout;
    timeRow->setSpacing(0);
    auto makeTimeLabel = [this](const char* name) {
        auto* label = new QLabel(QStringLiteral("   --:--:--"), controlPanel);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setFont(calibri(10));
        makeTextWhite(label);
        label->setStyleSheet(QStringLiteral("background-color: rgb(0, 0, 0);"));
        label->setFixedWidth(50);
        return label;
    };
    elapsedLabel = makeTimeLabel("elapsedLabel");
    progressSlider = new QSlider(Qt::Horizontal, controlPanel);
    progressSlider->setObjectName(QStringLiteral("progressSlider"));
    progressSlider->setRange(0, 100);
    progressSlider->setEnabled(false);
    progressSlider->setStyleSheet(QLatin1String(kzp::styles::slider) +
                                  QLatin1String(kzp::styles::blackSlider));
    connect(progressSlider, &QSlider::sliderPressed, this, &DRUI::SliderPress);
    connect(progressSlider, &QSlider::sliderMoved, this, &DRUI::SliderSeek);
    connect(progressSlider, &QSlider::sliderReleased, this, &DRUI::SliderRelease);
    progressSlider->installEventFilter(this);
    lengthLabel = makeTimeLabel("lengthLabel");
    timeRow->addWidget(elapsedLabel);
    timeRow->addWidget(progressSlider);
    timeRow->addWidget(lengthLabel);
    panelLayout->addLayout(timeRow, 1);

    auto* buttonBar = new QWidget(this);
    buttonBar->setObjectName(QStringLiteral("buttonBar"));
    buttonBar->setStyleSheet(QStringLiteral("background-color: rgb(205, 201, 201);"));
    auto* barLayout = new QHBoxLayout(buttonBar);
    auto* nowPlayingRow = new QHBoxLayout;
    nowPlayingLabel = new QLabel(buttonBar);
    nowPlayingLabel->setObjectName(QStringLiteral("nowPlayingLabel"));
    // File, folder and disc names: shown as typed, never read as HTML.
    nowPlayingLabel->setTextFormat(Qt::PlainText);
    nowPlayingLabel->setStyleSheet(QLatin1String(kzp::styles::nowPlaying));
    nowPlayingLabel->setFont(calibri(10, true));
    nowPlayingLabel->setWordWrap(true);
    nowPlayingRow->addWidget(nowPlayingLabel);
    barLayout->addLayout(nowPlayingRow);
    barLayout->addStretch(4);

    auto* transport = new QHBoxLayout;
    transport->setSpacing(0);
    stopButton = createBarButton(QStringLiteral(":/image/stop.png"), &DRUI::StopBtn);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    playButton = createBarButton(QStringLiteral(":/image/play.png"), &DRUI::VideoPlay);
    playButton->setObjectName(QStringLiteral("playButton"));
    previousButton = createBarButton(QStringLiteral(":/image/pre.png"), &DRUI::PlayPre);
    previousButton->setObjectName(QStringLiteral("previousButton"));
    nextButton = createBarButton(QStringLiteral(":/image/next.png"), &DRUI::PlayNext);
    nextButton->setObjectName(QStringLiteral("nextButton"));
    for (QPushButton* button : {stopButton, playButton, previousButton, nextButton})
        transport->addWidget(button);
    barLayout->addLayout(transport);
    barLayout->addStretch(4);

    auto* volumeRow = new QHBoxLayout;
    volumeButton = createBarButton(QStringLiteral(":/image/volume.png"), &DRUI::VolumeBtn);
    volumeButton->setObjectName(QStringLiteral("volumeButton"));
    volumeSlider = new QSlider(Qt::Horizontal, buttonBar);
    volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
    volumeSlider->setRange(0, 100);
    volumeSlider->setValue(50);
    volumeSlider->setStyleSheet(QLatin1String(kzp::styles::slider));
    connect(volumeSlider, &QSlider::sliderMoved, this, &DRUI::VolumeSliderSeek);
    volumeSlider->installEventFilter(this);
    fullScreenButton = createBarButton(QStringLiteral(":/image/fullscreen.png"), &DRUI::FullScreenBtn);
    fullScreenButton->setObjectName(QStringLiteral("fullScreenButton"));
    volumeRow->addWidget(volumeButton);
    volumeRow->addWidget(volumeSlider);
    volumeRow->addWidget(fullScreenButton);
    barLayout->addLayout(volumeRow);
    panelLayout->addWidget(buttonBar, 10);

    rootLayout->addWidget(controlPanel, 10);
}

void DRUI::btnOpenSnapshotFolder() {
    QString folder = readOutputPath(controller->dataFolderPath());
    if (folder.isEmpty())
        folder = defaultSnapshotFolder();
    if (!QDir(folder).exists())
        QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
