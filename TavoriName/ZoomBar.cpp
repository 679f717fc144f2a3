#include "TavoriName/ZoomBar.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

#include "TavoriName/DetailSymbols.h"

namespace tavori {

namespace {

struct ButtonSpec {
    PreviewZoom zoom;
    const char* themeIcon;
    const char* bundledIcon;
    QList<QKeySequence> shortcuts;
    const char* toolTip;
};

int slot(PreviewZoom zoom) {
    switch (zoom) {
        case PreviewZoom::out:
            return 0;
        case PreviewZoom::fitPage:
            return 1;
        case PreviewZoom::fitWidth:
            return 2;
        case PreviewZoom::in:
            return 3;
    }
    return 0;
}

}  // namespace

ZoomBar::ZoomBar(QWidget* host) : QFrame(host) {
    // Ctrl+= is what the tooltip's "+" key gives without Shift on most layouts; Ctrl++ is accepted as well.
    const std::array<ButtonSpec, 4> specs = {{
        {PreviewZoom::out,
         "zoom-out",
         "minus-magnifyingglass",
         {QKeySequence(Qt::CTRL | Qt::Key_Minus)},
         "縮小 (Ctrl+-)"},
        {PreviewZoom::fitPage,
         "zoom-fit-best",
         "arrow-down-right-and-arrow-up-left",
         {QKeySequence(Qt::CTRL | Qt::Key_0)},
         "全体を表示 (Ctrl+0)"},
        {PreviewZoom::fitWidth,
         "zoom-fit-width",
         "arrow-left-and-right",
         {QKeySequence(Qt::CTRL | Qt::Key_1)},
         "幅に合わせる (Ctrl+1)"},
        {PreviewZoom::in,
         "zoom-in",
         "plus-magnifyingglass",
         {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
         "拡大 (Ctrl++)"},
    }};
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(2);
    for (const ButtonSpec& spec : specs) {
        auto* action = new QAction(detailSymbol(spec.themeIcon, spec.bundledIcon), QString(), this);
        action->setToolTip(QString::fromUtf8(spec.toolTip));
        action->setShortcuts(spec.shortcuts);
        action->setShortcutContext(Qt::WindowShortcut);
        const PreviewZoom zoom = spec.zoom;
        connect(action, &QAction::triggered, this, [this, zoom] { emit zoomRequested(zoom); });
        addAction(action);
        auto* button = new QToolButton(this);
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button);
        actions_[slot(zoom)] = action;
        buttons_[slot(zoom)] = button;
    }
    setAttribute(Qt::WA_TranslucentBackground);
    host->installEventFilter(this);
    place();
    raise();
}

QAction* ZoomBar::action(PreviewZoom zoom) const {
    return actions_[slot(zoom)];
}

QToolButton* ZoomBar::button(PreviewZoom zoom) const {
    return buttons_[slot(zoom)];
}

bool ZoomBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        place();
    return QFrame::eventFilter(watched, event);
}

void ZoomBar::paintEvent(QPaintEvent*) {
    // The translucent material of the original: the window colour, mostly opaque, with a hairline edge.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlpha(215);
    QColor edge = palette().color(QPalette::Mid);
    edge.setAlpha(120);
    painter.setPen(edge);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}

void ZoomBar::place() {
    if (!parentWidget()) return;
    adjustSize();
    const QSize host = parentWidget()->size();
    move(host.width() - width() - inset, host.height() - height() - inset);
    raise();
}

}  // namespace tavori
