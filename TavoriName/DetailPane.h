#pragma once

#include <QStackedWidget>

class QLabel;

namespace tavori {

class AppModel;
class DocumentDetailView;

// The right-hand pane: the selected document's detail, or a placeholder that says what to select.
class DetailPane : public QStackedWidget {
    Q_OBJECT

  public:
    explicit DetailPane(AppModel& model, QWidget* parent = nullptr);

  private:
    void refresh();

    AppModel& model_;
    QWidget* placeholder_ = nullptr;
    QLabel* placeholderIcon_ = nullptr;
    QLabel* placeholderTitle_ = nullptr;
    QLabel* placeholderDescription_ = nullptr;
    QWidget* detailPage_ = nullptr;
    DocumentDetailView* detail_ = nullptr;
};

}  // namespace tavori
