#include "widgets/light_palette.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace palvane {

QPalette lightPalette() {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette standard = fusion ? fusion->standardPalette() : QPalette(QColor(239, 239, 239));
    // Each role set explicitly: a role left unset would be filled in from the theme.
    QPalette palette;
    for (int group = 0; group < QPalette::NColorGroups; ++group)
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = QPalette::ColorGroup(group);
            const auto r = QPalette::ColorRole(role);
            palette.setBrush(g, r, standard.brush(g, r));
        }
    return palette;
}

void useLightPalette() {
    QApplication::setPalette(lightPalette());
}

} // namespace palvane
