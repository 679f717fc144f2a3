#include "TavoriName/DetailSymbols.h"

static void initDetailIcons() {
    Q_INIT_RESOURCE(detail_icons);
}

namespace tavori {

QIcon detailSymbol(const QString& themeName, const QString& bundledName) {
    static const bool registered = (initDetailIcons(), true);
    (void)registered;
    return QIcon::fromTheme(themeName, QIcon(QStringLiteral(":/detail/icons/%1.svg").arg(bundledName)));
}

}  // namespace tavori
