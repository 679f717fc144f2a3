#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace tavori {

// The symbols the window shows. Each has a freedesktop icon-theme name and a bundled drawing in the colour
// the window gives it, so the window looks right on a desktop without an icon theme.
enum class Symbol {
    plus,
    arrowClockwise,
    checkmarkCircle,
    checkmarkCircleFill,
    clock,
    exclamationmarkTriangleFill,
    xmarkOctagonFill,
    docTextViewfinder,
};

namespace Icons {

// The fixed colours of the status symbols.
inline const QColor green{0x34, 0xc7, 0x59};
inline const QColor orange{0xff, 0x95, 0x00};
inline const QColor red{0xff, 0x3b, 0x30};

// The secondary text colour of the current palette, for symbols that stay in the background.
QColor secondary();
// The accent (highlight) colour of the current palette.
QColor accent();

const char* themeName(Symbol symbol);
// The bundled drawing in the given colour.
QIcon bundled(Symbol symbol, const QColor& color);
QPixmap bundledPixmap(Symbol symbol, const QColor& color, int size, qreal devicePixelRatio = 1.0);
// The icon theme's icon when the desktop has one, otherwise the bundled drawing in the given colour.
QIcon themed(Symbol symbol, const QColor& color);
// The application's own icon.
QIcon application();

}  // namespace Icons

}  // namespace tavori
