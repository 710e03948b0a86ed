#pragma once

// Text from outside (file, folder and disc names, paths, media tags) is shown
// exactly as it is. Labels that carry it are set to Qt::PlainText; this turns
// it into the form menus and buttons need, where Qt would otherwise read '&'
// as a shortcut mark.

#include <QString>

namespace display_text {

// For a menu entry or a button: '&' is doubled, so it shows instead of marking
// the next character as the shortcut key.
QString forMenu(const QString& text);

} // namespace display_text
