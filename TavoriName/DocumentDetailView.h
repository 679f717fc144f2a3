#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <QHash>
#include <QUuid>
#include <QWidget>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriKit/registry/RegistrationStatus.h"
#include "TavoriName/DocumentItem.h"

class QComboBox;
class QDateEdit;
class QGridLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace tavori {

class AppModel;
class ConfidenceDot;
class DocumentPreview;
class ZoomBar;

// One document beside its reading: the zoomable preview, the review banner, the name saving will give it
// and the five fields with their confidence. Every correction goes through the model at once.
class DocumentDetailView : public QWidget {
    Q_OBJECT

  public:
    explicit DocumentDetailView(AppModel& model, QWidget* parent = nullptr);

    // Shows the item; another item than before starts its preview fitted to the page.
    void showItem(const QUuid& id);

    DocumentPreview* preview() const { return preview_; }
    QWidget* banner() const { return banner_; }
    QLabel* bannerReasons() const { return bannerReasons_; }
    QPushButton* confirmButton() const { return confirmButton_; }
    QLabel* newNameLabel() const { return newNameLabel_; }
    QLabel* savedLocationLink() const { return savedLocationLink_; }
    QDateEdit* dateField() const { return dateField_; }
    QLabel* dateMissingLabel() const { return dateMissingLabel_; }
    QLineEdit* vendorField() const { return vendorField_; }
    QPushButton* learnVendorButton() const { return learnVendorButton_; }
    QLineEdit* amountField() const { return amountField_; }
    QComboBox* typePicker() const { return typePicker_; }
    QLineEdit* registrationField() const { return registrationField_; }
    // The amounts by rate: row 0 is 10 %, row 1 the reduced 8 %; column 0 the amount, 1 its tax.
    QLineEdit* taxField(int rate, int column) const {
        return taxFields_[std::size_t(rate)][std::size_t(column)];
    }
    QWidget* checkDigitWarning() const { return checkDigitWarning_; }
    // What the imported register says of the number: the registered name, or an orange warning.
    QWidget* registryStatusRow() const { return registryStatusRow_; }
    QLabel* registryStatusLabel() const { return registryStatusLabel_; }
    // Offers the registered name as the vendor when the reading found none or only an uncertain one.
    QPushButton* registryVendorButton() const { return registryVendorButton_; }
    // The item's error, in the band where the banner would be.
    QWidget* errorSection() const { return errorSection_; }
    // Says why a typed amount was not taken.
    QLabel* amountWarning() const { return amountWarning_; }
    bool showsFieldsInTwoColumns() const { return twoColumns_; }
    QLabel* errorLabel() const { return errorLabel_; }
    ConfidenceDot* dot(DocumentItem::Field field) const;

    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void placeFields(bool twoColumns);
    void amountFinished();
    QWidget* makeBanner();
    // The form under the status band, by section: the names, the fields, the amounts by rate, the notes.
    QWidget* makeForm();
    QLayout* makeNames();
    void makeFields();
    QWidget* makeDateField();
    QWidget* fieldCell(const QString& label, QWidget* control, DocumentItem::Field field,
                       QWidget* extra = nullptr);
    QWidget* makeTaxRow();
    QWidget* makeNotes();
    QLayout* makeOffers();
    const DocumentItem* item() const;
    void refresh();
    void refreshNewName(const DocumentItem& item);
    void refreshLearnButton(const DocumentItem& item);
    void showRegistryStatus(const std::optional<RegistrationStatus>& status);
    std::optional<VendorAliasDictionary::Rule> aliasToLearn(const DocumentItem& item) const;
    void vendorEdited(const QString& text);
    void amountEdited(const QString& text);
    void taxBreakdownEdited();
    void learnVendor();

    AppModel& model_;
    QUuid itemId_;
    bool refreshing_ = false;
    // The vendor as the analysis read it, kept from the first hand correction so that the correction can be
    // learnt as an alias rule.
    QHash<QUuid, std::string> vendorAsRead_;

    DocumentPreview* preview_ = nullptr;
    ZoomBar* zoomBar_ = nullptr;
    QWidget* banner_ = nullptr;
    QLabel* bannerReasons_ = nullptr;
    QLabel* duplicateLine_ = nullptr;
    QPushButton* confirmButton_ = nullptr;
    QLabel* newNameLabel_ = nullptr;
    QLabel* savedLocationCaption_ = nullptr;
    QLabel* savedLocationLink_ = nullptr;
    QDateEdit* dateField_ = nullptr;
    QLabel* dateMissingLabel_ = nullptr;
    QLineEdit* vendorField_ = nullptr;
    QPushButton* learnVendorButton_ = nullptr;
    QLineEdit* amountField_ = nullptr;
    // The amount subject to 10 % and to 8 %, tax included, and each one's tax: [rate][amount, tax].
    std::array<std::array<QLineEdit*, 2>, 2> taxFields_{};
    QComboBox* typePicker_ = nullptr;
    QLineEdit* registrationField_ = nullptr;
    QWidget* checkDigitWarning_ = nullptr;
    QWidget* registryStatusRow_ = nullptr;
    QLabel* registryStatusIcon_ = nullptr;
    QLabel* registryStatusLabel_ = nullptr;
    QPushButton* registryVendorButton_ = nullptr;
    std::string registryVendor_;
    QUuid registryShownFor_;
    QWidget* statusBand_ = nullptr;
    QWidget* errorSection_ = nullptr;
    QLabel* errorLabel_ = nullptr;
    QLabel* stateLine_ = nullptr;
    QLabel* notSavedLabel_ = nullptr;
    QLabel* amountWarning_ = nullptr;
    std::optional<std::optional<std::int64_t>> amountBeforeTyping_;
    QScrollArea* notesArea_ = nullptr;
    QGridLayout* fieldGrid_ = nullptr;
    std::array<QWidget*, 5> cells_ = {};
    bool twoColumns_ = true;
    ConfidenceDot* dots_[5] = {};
};

}  // namespace tavori
