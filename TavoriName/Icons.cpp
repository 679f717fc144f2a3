#include "TavoriName/Icons.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

// The drawings live in a static library, whose resources are not registered on their own.
static void registerBundledIcons() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace tavori::Icons {

namespace {

// The bundled drawings are painted in this colour; it is replaced by the wanted one before rendering.
constexpr QLatin1StringView placeholderColor{"#010203"};

const char* resourcePath(Symbol symbol) {
    switch (symbol) {
        case Symbol::plus:
            return ":/icons/plus.svg";
        case Symbol::arrowClockwise:
            return ":/icons/arrow-clockwise.svg";
        case Symbol::checkmarkCircle:
            return ":/icons/checkmark-circle.svg";
        case Symbol::checkmarkCircleFill:
            return ":/icons/checkmark-circle-fill.svg";
        case Symbol::clock:
            return ":/icons/clock.svg";
        case Symbol::exclamationmarkTriangleFill:
            return ":/icons/exclamationmark-triangle-fill.svg";
        case Symbol::xmarkOctagonFill:
            return ":/icons/xmark-octagon-fill.svg";
        case Symbol::docTextViewfinder:
            return ":/icons/doc-text-viewfinder.svg";
    }
    return ":/icons/plus.svg";
}

QByteArray coloredSvg(Symbol symbol, const QColor& color) {
    static QHash<int, QString> sources;
    registerBundledIcons();
    auto found = sources.find(static_cast<int>(symbol));
    if (found == sources.end()) {
        QFile file(QString::fromLatin1(resourcePath(symbol)));
        const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        found = sources.insert(static_cast<int>(symbol), text);
    }
    QString text = *found;
    text.replace(placeholderColor, color.name(QColor::HexRgb));
    return text.toUtf8();
}

// Renders the drawing sharply at every size a view asks for.
class SvgIconEngine final : public QIconEngine {
  public:
    explicit SvgIconEngine(QByteArray svg) : svg_(std::move(svg)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QSvgRenderer renderer(svg_);
        if (mode == QIcon::Disabled) painter->setOpacity(painter->opacity() * 0.35);
        renderer.render(painter, QRectF(rect));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size * scale), mode, state);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QIconEngine* clone() const override { return new SvgIconEngine(svg_); }

  private:
    QByteArray svg_;
};

}  // namespace

QColor secondary() {
    return QApplication::palette().color(QPalette::PlaceholderText);
}

QColor accent() {
    return QApplication::palette().color(QPalette::Highlight);
}

const char* themeName(Symbol symbol) {
    switch (symbol) {
        case Symbol::plus:
            return "list-add";
        case Symbol::arrowClockwise:
            return "view-refresh";
        case Symbol::checkmarkCircle:
            return "emblem-ok";
        case Symbol::checkmarkCircleFill:
            return "emblem-default";
        case Symbol::clock:
            return "appointment-soon";
        case Symbol::exclamationmarkTriangleFill:
            return "dialog-warning";
        case Symbol::xmarkOctagonFill:
            return "dialog-error";
        case Symbol::docTextViewfinder:
            return "scanner";
    }
    return "";
}

QIcon bundled(Symbol symbol, const QColor& color) {
    return QIcon(new SvgIconEngine(coloredSvg(symbol, color)));
}

QPixmap bundledPixmap(Symbol symbol, const QColor& color, int size, qreal devicePixelRatio) {
    return bundled(symbol, color).pixmap(QSize(size, size), devicePixelRatio);
}

QIcon themed(Symbol symbol, const QColor& color) {
    const QString name = QString::fromLatin1(themeName(symbol));
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    return bundled(symbol, color);
}

QIcon application() {
    registerBundledIcons();
    return QIcon::fromTheme(QStringLiteral("tavori-name"), QIcon(QStringLiteral(":/icons/tavori-name.svg")));
}

}  // namespace tavori::Icons
