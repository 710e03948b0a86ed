#include "util/WindowPlacement.h"

#include <QtGlobal>

namespace window_placement {

namespace {

// Moves `frame` into `area` along one axis; a frame larger than the area
// keeps its start on the area's start, so the title bar stays reachable.
int clampStart(int start, int length, int areaStart, int areaLength) {
    if (start + length > areaStart + areaLength)
        start = areaStart + areaLength - length;
    return qMax(start, areaStart);
}

} // namespace

QRect fitClient(const QRect& wanted, const QMargins& frame, const QRect& workArea, const QSize& minimum) {
    if (!workArea.isValid())
        return wanted;
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const QSize size(qMax(qMin(wanted.width(), workArea.width() - frameWidth), minimum.width()),
                     qMax(qMin(wanted.height(), workArea.height() - frameHeight), minimum.height()));
    const int frameLeft =
        clampStart(wanted.x() - frame.left(), size.width() + frameWidth, workArea.x(), workArea.width());
    const int frameTop =
        clampStart(wanted.y() - frame.top(), size.height() + frameHeight, workArea.y(), workArea.height());
    return QRect(QPoint(frameLeft + frame.left(), frameTop + frame.top()), size);
}

QRect fitFirstShow(const QRect& client, const QMargins& frame, const QRect& workArea, const QSize& minimum) {
    const QSize whole = client.marginsAdded(frame).size();
    if (!workArea.isValid() || (whole.width() <= workArea.width() && whole.height() <= workArea.height()))
        return client;
    return fitClient(client, frame, workArea, minimum);
}

QMargins frameMargins(const QRect& client, const QRect& frame) {
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

QPoint centredFramePosition(const QSize& frameSize, const QRect& anchor, const QRect& area) {
    const QPoint topLeft(anchor.x() + (anchor.width() - frameSize.width()) / 2,
                         anchor.y() + (anchor.height() - frameSize.height()) / 2);
    if (!area.isValid())
        return topLeft;
    return QPoint(clampStart(topLeft.x(), frameSize.width(), area.x(), area.width()),
                  clampStart(topLeft.y(), frameSize.height(), area.y(), area.height()));
}

} // namespace window_placement
