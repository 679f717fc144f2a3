#pragma once

#include <filesystem>
#include <vector>

#include <QWidget>

#include "TavoriKit/indexbook/IndexBookLibrary.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace tavori {

class AppModel;
class DesktopServices;

// 「索引簿を検索」: finds saved documents in an index book (the destination's, or another the user picks) by
// date range, amount range, vendor, document type and registration number, and opens them, shows them in the
// file manager or writes the results as a book of their own.
class IndexBookSearchWindow final : public QWidget {
    Q_OBJECT
  public:
    IndexBookSearchWindow(AppModel& model, DesktopServices& desktop, QWidget* parent = nullptr);

    // Reads the book (a file, or a folder holding the configured book) and searches it again.
    void setBook(const std::filesystem::path& target);
    const std::filesystem::path& book() const { return book_; }
    // The conditions as typed; a condition that cannot be read shows why and matches nothing until fixed.
    void search();
    void openSelected();
    void revealSelected();
    void exportResults();

    const std::vector<IndexBookLibrary::Hit>& hits() const { return hits_; }
    QLineEdit* fromField() const { return from_; }
    QLineEdit* toField() const { return to_; }
    QLineEdit* minField() const { return min_; }
    QLineEdit* maxField() const { return max_; }
    QLineEdit* vendorField() const { return vendor_; }
    QComboBox* typeField() const { return type_; }
    QLineEdit* registrationField() const { return registration_; }
    QTableView* table() const { return table_; }
    QPushButton* openButton() const { return open_; }
    QPushButton* revealButton() const { return reveal_; }
    QPushButton* exportButton() const { return export_; }
    QLabel* message() const { return message_; }

  private:
    void chooseBook();
    void showHits();
    void updateButtons();
    const IndexBookLibrary::Hit* selectedHit() const;

    AppModel& model_;
    DesktopServices& desktop_;
    std::filesystem::path book_;
    std::vector<IndexBookLibrary::Book> books_;
    std::vector<IndexBookLibrary::Hit> hits_;
    QLabel* bookLabel_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* min_;
    QLineEdit* max_;
    QLineEdit* vendor_;
    QComboBox* type_;
    QLineEdit* registration_;
    QLabel* message_;
    QStandardItemModel* results_;
    QTableView* table_;
    QPushButton* open_;
    QPushButton* reveal_;
    QPushButton* export_;
};

}  // namespace tavori
