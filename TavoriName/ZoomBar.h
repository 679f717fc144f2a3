#pragma once

#include <array>

#include <QFrame>

#include "TavoriName/PreviewZoom.h"

class QAction;
class QToolButton;

namespace tavori {

// The four zoom buttons laid over the preview's bottom-right corner, with their Ctrl shortcuts.
class ZoomBar : public QFrame {
    Q_OBJECT

  public:
    static constexpr int inset = 8;

    explicit ZoomBar(QWidget* host);

    // In the order shown: zoom out, whole page, page width, zoom in.
    QAction* action(PreviewZoom zoom) const;
    QToolButton* button(PreviewZoom zoom) const;

  signals:
    void zoomRequested(tavori::PreviewZoom zoom);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void place();

    std::array<QAction*, 4> actions_{};
    std::array<QToolButton*, 4> buttons_{};
};

}  // namespace tavori
