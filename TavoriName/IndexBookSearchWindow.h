#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include <QWidget>

#include "TavoriKit/indexbook/IndexBookLibrary.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tavori {

class AppModel;
class DesktopServices;
class HitTableModel;

// 「索引簿を検索」: finds saved documents in an index book (the destination's, or another the user picks) by
// date range, amount range, vendor, document type and registration number, and opens them, shows them in the
// file manager or writes the results as a book of their own. Reading, searching and writing run on the
// model's I/O worker: a 100,000-row book never holds the window, and only the latest search is shown.
class IndexBookSearchWindow final : public QWidget {
    Q_OBJECT
  public:
    IndexBookSearchWindow(AppModel& model, DesktopServices& desktop, QWidget* parent = nullptr);

    // Reads the book (a file, or a folder holding the configured book) and searches it again; searched()
    // follows.
    void setBook(const std::filesystem::path& target);
    const std::filesystem::path& book() const { return book_; }
    // The conditions as typed; a condition that cannot be read shows why and matches nothing until fixed.
    // The hits are shown, and searched() emitted, when the search is done.
    void search();
    // No read or search is running.
    bool isIdle() const { return running_ == 0; }
    void openSelected();
    void revealSelected();
    void exportResults();

    const std::vector<IndexBookLibrary::Hit>& hits() const { return hits_; }
    QLineEdit* vendorField() const { return vendor_; }

  signals:
    // The latest search's hits (or the reason there are none) are on screen.
    void searched();
    // Writing the results finished; the message says how.
    void exported();

  private:
    void chooseBook();
    void showHits(std::vector<IndexBookLibrary::Hit> hits);
    void updateButtons();
    const IndexBookLibrary::Hit* selectedHit() const;

    AppModel& model_;
    DesktopServices& desktop_;
    std::filesystem::path book_;
    std::shared_ptr<const std::vector<IndexBookLibrary::Book>> books_;
    std::vector<IndexBookLibrary::Hit> hits_;
    std::uint64_t bookGeneration_ = 0;
    std::uint64_t searchGeneration_ = 0;
    int running_ = 0;
    bool columnsFitted_ = false;
    QLabel* bookLabel_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* min_;
    QLineEdit* max_;
    QLineEdit* vendor_;
    QComboBox* type_;
    QLineEdit* registration_;
    QLabel* message_;
    HitTableModel* results_;
    QTableView* table_;
    QPushButton* open_;
    QPushButton* reveal_;
    QPushButton* export_;
};

}  // namespace tavori
