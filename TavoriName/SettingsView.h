#pragma once

#include <vector>

#include <QTabWidget>

#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/Uuid.h"
#include "TavoriName/AppSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class QVBoxLayout;

namespace tavori {

class AppModel;

// The settings window's content. Every control writes straight into the settings it shows and reports the
// whole new value at once; there is no OK or apply step.
class SettingsView : public QTabWidget {
    Q_OBJECT

  public:
    static constexpr int minVendorLength = 8;
    static constexpr int maxVendorLength = 60;

    explicit SettingsView(QWidget* parent = nullptr);
    // Shows the model's settings and stores each change through it at once.
    explicit SettingsView(AppModel& model, QWidget* parent = nullptr);

    // Shows `settings` without reporting an edit; a field the user is typing in keeps its cursor when its
    // text is already the same.
    void setSettings(const AppSettings& settings);
    const AppSettings& settings() const { return settings_; }

    // The record the preview renders: 2026-03-14, セブンイレブン, 788 yen, a receipt, T3120001023456.
    static const ReceiptFields& sampleRecord();

  signals:
    // The settings after one change by the user.
    void settingsEdited(const tavori::AppSettings& settings);
    // The user wants to pick the inbox folder (the model shows the folder chooser).
    void chooseInboxRequested();

  private:
    struct RuleRow {
        Uuid id;
        QWidget* row = nullptr;
        QLineEdit* pattern = nullptr;
        QLineEdit* canonical = nullptr;
        QToolButton* remove = nullptr;
    };

    struct VendorRow {
        VendorMemory::Entry entry;
        QWidget* row = nullptr;
        QToolButton* remove = nullptr;
    };

    QWidget* makeNameTab();
    QWidget* makeVendorTab();
    QWidget* makeInboxTab();
    void showInbox();
    void showValues();
    void rebuildRuleRows();
    void edited();
    void addRule();
    void removeRule(const Uuid& id);
    void rebuildVendorRows();
    void forgetVendor(const VendorMemory::Entry& entry);

    AppSettings settings_;
    bool showing_ = false;

    QLineEdit* templateField_ = nullptr;
    QLineEdit* dateFormatField_ = nullptr;
    QComboBox* amountStylePicker_ = nullptr;
    QSpinBox* vendorLengthStepper_ = nullptr;
    QLabel* vendorLengthLabel_ = nullptr;
    QCheckBox* indexBookToggle_ = nullptr;
    QCheckBox* taxColumnsToggle_ = nullptr;
    QLineEdit* indexBookNameField_ = nullptr;
    QLabel* previewLabel_ = nullptr;
    QLineEdit* recipientField_ = nullptr;
    QCheckBox* stripSuffixToggle_ = nullptr;
    QPushButton* addRuleButton_ = nullptr;
    QVBoxLayout* rulesLayout_ = nullptr;
    std::vector<RuleRow> ruleRows_;
    QVBoxLayout* vendorsLayout_ = nullptr;
    std::vector<VendorRow> vendorRows_;
    QLabel* inboxFolderLabel_ = nullptr;
    QPushButton* chooseInboxButton_ = nullptr;
    QPushButton* inboxOffButton_ = nullptr;
    QCheckBox* autoSaveToggle_ = nullptr;
};

}  // namespace tavori
