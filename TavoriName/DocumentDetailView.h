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

    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void nameParts();
    ConfidenceDot* dot(DocumentItem::Field field) const;
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
