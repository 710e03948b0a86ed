// Playback in the window: the transport slots forward to the playback
// controller, and what it reports is shown on the widgets.

#include "ui/DRUI.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QStyle>
#include <QStyleOptionSlider>

#include "config/DataFolder.h"
#include "config/LanguageManager.h"
#include "config/RecentFiles.h"
#include "ui/Commands.h"
#include "util/TimeFormat.h"

namespace {

// Every action of the menu unchecked, then the one at `position` checked.
void checkOnly(QMenu* menu, int position) {
    if (!menu)
        return;
    const QList<QAction*> actions = menu->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (i == position) {
            actions[i]->setCheckable(true);
            actions[i]->setChecked(true);
        } else {
            actions[i]->setChecked(false);
        }
    }
}

// The style option the slider paints itself with (its own initStyleOption is
// not public): the handle's and the groove's rects come from it.
QStyleOptionSlider sliderOption(const QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.subControls = QStyle::SC_None;
    option.activeSubControls = QStyle::SC_None;
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.tickPosition = slider->tickPosition();
    option.tickInterval = slider->tickInterval();
    const bool horizontal = slider->orientation() == Qt::Horizontal;
    option.upsideDown = horizontal ? slider->invertedAppearance() != (option.direction == Qt::RightToLeft)
                                   : !slider->invertedAppearance();
    option.direction = Qt::LeftToRight; // upsideDown carries it
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    if (horizontal)
        option.state |= QStyle::State_Horizontal;
    return option;
}

// The value whose handle is centred on `point`, the way the slider computes
// its own jumps: the handle's length and the groove's margins in the style
// narrow the span the handle travels. -1 for a point on the handle itself.
int valueUnder(const QSlider* slider, const QPoint& point) {
    const QStyleOptionSlider option = sliderOption(slider);
    const QStyle* style = slider->style();
    if (style->hitTestComplexControl(QStyle::CC_Slider, &option, point, slider) == QStyle::SC_SliderHandle)
        return -1;
    const QRect groove = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const QRect handle = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const bool horizontal = slider->orientation() == Qt::Horizontal;
    const int length = horizontal ? handle.width() : handle.height();
    const int start = horizontal ? groove.x() : groove.y();
    const int end = (horizontal ? groove.right() : groove.bottom()) - length + 1;
    const QPoint centre = handle.center() - handle.topLeft();
    const int at = horizontal ? point.x() - centre.x() : point.y() - centre.y();
    return QStyle::sliderValueFromPosition(slider->minimum(), slider->maximum(), at - start, end - start,
                                           option.upsideDown);
}

} // namespace

void DRUI::connectController() {
    PlaybackController* c = controller;
    connect(c, &PlaybackController::pageChanged, this, &DRUI::showPage);
    connect(c, &PlaybackController::stateChanged, this, [this](PlaybackState state) {
        if (const CommandRow* row = CommandTable::row(CommandTable::playEntry(state));
            row && playPauseAction) {
            playPauseAction->setText(row->caption());
            playPauseAction->setData(row->dataText());
        }
        updateMenuStates();
        if (controller->isStopped())
            markPlayingRow(); // takes the mark away
    });
    connect(c, &PlaybackController::sliderRangeChanged, this, [this](int maximum) {
        if (progressSlider)
            progressSlider->setRange(0, maximum);
    });
    connect(c, &PlaybackController::sliderValueChanged, this, [this](int value) {
        if (progressSlider)
            progressSlider->setValue(value);
    });
    connect(c, &PlaybackController::sliderEnabledChanged, this, [this](bool enabled) {
        if (progressSlider)
            progressSlider->setEnabled(enabled);
    });
    connect(c, &PlaybackController::elapsedTextChanged, this, [this](const QString& text) {
        if (elapsedLabel)
            elapsedLabel->setText(text);
    });
    connect(c, &PlaybackController::lengthTextChanged, this, [this](const QString& text) {
        if (lengthLabel)
            lengthLabel->setText(text);
    });
    connect(c, &PlaybackController::playIconChanged, this, [this](bool showsPause) {
        if (playButton)
            playButton->setIcon(
                QIcon(showsPause ? QStringLiteral(":/image/pause.png") : QStringLiteral(":/image/play.png")));
    });
    connect(c, &PlaybackController::volumeChanged, this, [this](int value, bool muted) {
        if (volumeSlider)
            volumeSlider->setValue(value);
        setVolumeIcon(muted);
    });
    connect(c, &PlaybackController::preparingStart, this, &DRUI::prepareStart);
    connect(c, &PlaybackController::started, this, [this] { markPlayingRow(); });
    connect(c, &PlaybackController::ended, this, [this](const Source&, qint64, EndReason reason) {
        // A replaced playback is followed by the next start; the probes' progress stays.
        if (reason != EndReason::Replaced && nowPlayingLabel && !isAddingFiles())
            nowPlayingLabel->clear();
    });
    connect(c, &PlaybackController::audioTracksRebuilt, this, &DRUI::rebuildAudioTracks);
    connect(c, &PlaybackController::subtitleTracksRebuilt, this, &DRUI::rebuildSubtitleTracks);
    connect(c, &PlaybackController::audioTrackChecked, this,
            [this](int entry) { checkOnly(audioTrackMenu, entry); });
    connect(c, &PlaybackController::subtitleTrackChecked, this,
            [this](int entry) { checkOnly(subtitleTrackMenu, entry); });
}

void DRUI::showPage(Page page) {
    if (pageStack)
        pageStack->setCurrentIndex(int(page));
    updateMenuStates();
}

void DRUI::prepareStart(const QString& source, SourceKind kind) {
    if (kind != SourceKind::BluRay) {
        if (titleMenu)
            titleMenu->clear();
        if (chapterMenu)
            chapterMenu->clear();
    }
    if (recentFiles.add(source))
        refreshRecentFilesMenu();
    if (audioChannelMenu) {
        const QList<QAction*> channels = audioChannelMenu->actions();
        for (int i = 0; i < channels.size(); ++i) {
            channels[i]->setCheckable(i == 0);
            channels[i]->setChecked(i == 0);
        }
    }
}

void DRUI::rebuildAudioTracks(int streams) {
    if (!audioTrackMenu)
        return;
    audioTrackMenu->clear();
    QList<QAction*> entries;
    entries.reserve(streams + 1);
    auto* disable = new QAction(QStringLiteral("Disable"), audioTrackMenu);
    disable->setData(0);
    entries.append(disable);
    for (int k = 1; k <= streams; ++k) {
        auto* action = new QAction(QString::asprintf("Audio %d", k), audioTrackMenu);
        action->setData(k);
        entries.append(action);
    }
    entries[1]->setCheckable(true);
    entries[1]->setChecked(true);
    audioTrackMenu->addActions(entries);
}

void DRUI::rebuildSubtitleTracks(int streams) {
    if (!subtitleTrackMenu)
        return;
    subtitleTrackMenu->clear();
    QList<QAction*> entries;
    entries.reserve(streams + 1);
    auto* disable = new QAction(QStringLiteral("Disable"), subtitleTrackMenu);
    disable->setData(0);
    disable->setCheckable(true);
    disable->setChecked(true);
    entries.append(disable);
    for (int k = 1; k <= streams; ++k) {
        auto* action = new QAction(QString::asprintf("Subtitle %d", k), subtitleTrackMenu);
        action->setData(k);
        entries.append(action);
    }
    subtitleTrackMenu->addActions(entries);
}

QString DRUI::enginePath() const {
    return controller->engineProgramPath();
}

void DRUI::setEnginePath(const QString& path) {
    controller->setEngineProgram(
        path.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/Player.exe") : path);
}

void DRUI::endEngine() {
    controller->endEngine();
}

Source DRUI::withDiscChoices(Source source) const {
    if (source.kind != SourceKind::BluRay)
        return source;
    const QString& key = source.titleKey;
    source.hasTitle = disc.hasTitle(key);
    source.title = disc.titleNumber(key);
    source.audioChoice = disc.audioChoice(key);
    source.subtitleChoice = disc.subtitleChoice(key);
    return source;
}

void DRUI::openSource(const Source& source, OpenMode mode) {
    if (isAddingFiles())
        return;
    controller->setStartVolume(volumeSlider ? volumeSlider->value() : 50);
    controller->open(withDiscChoices(source), mode);
}

void DRUI::VideoPlay() {
    openSource(controller->currentSource(), OpenMode::PauseOrResume);
}

void DRUI::pausePlayback() {
    controller->pause();
}

void DRUI::resumePlayback() {
    controller->resume();
}

void DRUI::StopBtn() {
    controller->stop();
}

void DRUI::Navigation() {
    controller->navigate();
}

void DRUI::DoRefreshGui() {
    controller->tick();
}

void DRUI::SliderPress() {
    controller->sliderPressed();
}

void DRUI::SliderSeek(int value) {
    controller->sliderMoved(value);
}

void DRUI::SliderRelease() {
    controller->sliderReleased();
}

void DRUI::SliderMouseLButtonPress(QObject* object, QEvent* event) {
    clickSlider(object, event);
}

bool DRUI::clickSlider(QObject* object, QEvent* event) {
    auto* slider = qobject_cast<QSlider*>(object);
    if (!slider || !event || event->type() != QEvent::MouseButtonPress)
        return false;
    auto* press = static_cast<QMouseEvent*>(event);
    if (press->button() != Qt::LeftButton || (slider != progressSlider && slider != volumeSlider))
        return false;
    const int value = valueUnder(slider, press->position().toPoint());
    if (value < 0)
        return false; // a press on the handle drags as usual
    if (slider == progressSlider)
        controller->clickSeek(value);
    else
        VolumeSliderSeek(value);
    return true;
}

void DRUI::seekForward() {
    controller->setShownSliderValue(progressSlider ? progressSlider->value() : 0);
    controller->seekForward();
}

void DRUI::seekBackward() {
    controller->setShownSliderValue(progressSlider ? progressSlider->value() : 0);
    controller->seekBackward();
}

void DRUI::seekToChapter(qint64 startMs) {
    controller->seekToSecond(startMs / 1000);
}

void DRUI::setVolumeIcon(bool muted) {
    if (!volumeButton)
        return;
    const QPixmap picture(QLatin1String(muted ? ":/image/no-volume.png" : ":/image/volume.png"));
    volumeButton->setIcon(QIcon(picture));
    volumeButton->setIconSize(picture.size());
    volumeButton->setFixedSize(picture.size());
}

void DRUI::VolumeBtn() {
    controller->toggleMute();
}

void DRUI::VolumeSliderSeek(int value) {
    controller->setVolume(value);
}

void DRUI::Snapshot() {
    controller->requestSnapshot();
}
