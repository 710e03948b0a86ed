#include "util/DisplayText.h"

namespace display_text {

QString forMenu(const QString& text) {
    QString shown = text;
    return shown.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace display_text
