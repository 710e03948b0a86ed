#pragma once

#include <QByteArray>

// The engine draws into an X11 window, so the player runs on Qt's X11
// platform ("xcb"; under a Wayland session that is XWayland). When
// QT_QPA_PLATFORM is unset it is set to "xcb"; a value that is set, even an
// empty one, is the user's (or a test's) choice and is kept. Must run before
// the application object is made. Returns the value QT_QPA_PLATFORM now holds.
QByteArray selectDisplayPlatform();
