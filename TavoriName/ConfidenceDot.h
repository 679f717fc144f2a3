#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "TavoriCore/FieldConfidence.h"

namespace tavori {

// The coloured dot beside a field: how far its reading can be trusted, or that the user corrected it.
class ConfidenceDot : public QWidget {
    Q_OBJECT

  public:
    static constexpr int diameter = 9;

    explicit ConfidenceDot(QWidget* parent = nullptr);

    void setState(FieldConfidence::Level level, bool edited);
    FieldConfidence::Level level() const { return level_; }
    bool isEdited() const { return edited_; }
    QColor colour() const { return colour(level_, edited_); }

    // A correction by hand outweighs the level.
    static QColor colour(FieldConfidence::Level level, bool edited);
    static QString toolTipText(FieldConfidence::Level level, bool edited);

    QSize sizeHint() const override { return {diameter, diameter}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    FieldConfidence::Level level_ = FieldConfidence::Level::missing;
    bool edited_ = false;
};

}  // namespace tavori
