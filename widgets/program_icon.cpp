#include "widgets/program_icon.h"

// The resources live in a static library, whose registration code the linker would otherwise
// drop: register them explicitly. Q_INIT_RESOURCE must be used outside any namespace.
static void registerResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)registered;
}

QIcon palvane::programIcon() {
    registerResources();
    return QIcon(QStringLiteral(":/palvane/palvane.ico"));
}
