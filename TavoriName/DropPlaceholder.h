#pragma once

#include <QLabel>
#include <QWidget>

namespace tavori {

// What the list area shows while there are no documents: where to drop them and what happens to them.
class DropPlaceholder final : public QWidget {
    Q_OBJECT
  public:
    explicit DropPlaceholder(QWidget* parent = nullptr);

    bool isTargeted() const { return targeted_; }
    void setTargeted(bool targeted);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void updateSymbol();

    bool targeted_ = false;
    QLabel* symbol_;
};

}  // namespace tavori
