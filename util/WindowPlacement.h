#pragma once

// Where a top-level window goes so that all of it, the window manager's frame
// included, lies inside the screen's work area (the screen less task bars and
// docks). Window-free: the window passes in its frame margins and the area.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace window_placement {

// The client geometry (the window without its frame) closest to `wanted`
// whose frame rectangle fits `workArea`: the size shrinks to what fits (not
// below `minimum`), then the window moves only as far as it must.
QRect fitClient(const QRect& wanted, const QMargins& frame, const QRect& workArea, const QSize& minimum = {});

// The window's first place: `client` as it stands wherever it fits the work
// area in size, frame included (the window manager's placement is kept);
// otherwise fitClient() of it. Before the window is mapped its frame is
// unknown (no margins): the window is then only made no larger than the area.
QRect fitFirstShow(const QRect& client, const QMargins& frame, const QRect& workArea,
                   const QSize& minimum = {});

// The frame's margins around a window's client rectangle (QWidget::geometry()
// inside QWidget::frameGeometry()).
QMargins frameMargins(const QRect& client, const QRect& frame);

// The top-left of a frame of `frameSize` centred over `anchor`, moved into
// `area` (its top-left edge wins when the frame is larger than the area).
QPoint centredFramePosition(const QSize& frameSize, const QRect& anchor, const QRect& area);

} // namespace window_placement
