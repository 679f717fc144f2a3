#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tavori {

class AppModel;

// Under the list: how and where to save, where the index book goes, what the last save did, how far reading
// or saving has come, and the buttons that export the index book, save the ready documents and stop a save.
class FooterView final : public QWidget {
    Q_OBJECT
  public:
    explicit FooterView(AppModel& model, QWidget* parent = nullptr);

    QPushButton* saveButton() const { return save_; }

    // Recomputes the ready count and the save button; the window calls it once per burst of item changes.
    void refreshCounts();

  private:
    void refreshSettings();
    void refreshSummary();
    void refreshProgress();
    void refreshIndexBook();

    AppModel& model_;
    QComboBox* modePicker_;
    QLabel* destination_;
    QPushButton* changeDestination_;
    QLabel* indexBook_;
    QPushButton* cancel_;
    QLabel* summary_;
    QLabel* progress_;
    QProgressBar* progressBar_;
    QPushButton* export_;
    QPushButton* save_;
};

}  // namespace tavori
