#include "BlurayTitle.h"

// Filled in with the disc scan and libbluray; until then titles pass unchanged.
void translateBlurayTitle(QStringList& arguments) { Q_UNUSED(arguments); }
