#include "app/DisplayPlatform.h"

#include <QtGlobal>

namespace {
const char* const kPlatformVariable = "QT_QPA_PLATFORM";
}

QByteArray selectDisplayPlatform() {
    // Without this, Qt picks "wayland" on its own when XDG_SESSION_TYPE says so.
    if (!qEnvironmentVariableIsSet(kPlatformVariable))
        qputenv(kPlatformVariable, QByteArrayLiteral("xcb"));
    return qgetenv(kPlatformVariable);
}
