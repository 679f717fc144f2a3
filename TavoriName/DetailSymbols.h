#pragma once

#include <QIcon>
#include <QString>

namespace tavori {

// An icon of the detail pane and the settings window: the icon theme's `themeName`, or the bundled drawing
// `bundledName` (icons/<bundledName>.svg) when the theme has none.
QIcon detailSymbol(const QString& themeName, const QString& bundledName);

}  // namespace tavori
