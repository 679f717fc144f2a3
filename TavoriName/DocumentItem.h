#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <QDateTime>
#include <QUuid>

#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/RecognizedDocument.h"
#include "TavoriCore/VendorMemory.h"
#include "TavoriKit/reading/PreviewProvider.h"
#include "TavoriKit/service/ReceiptPipeline.h"

namespace tavori {

// One file in the application's list: its analysis state, the fields read from it, the user's corrections
// and, once saved, where it went. Items are created and changed only by the AppModel, on the GUI thread;
// views get them read-only and are told of every change by the model's signals.
class DocumentItem {
  public:
    enum class Status { queued, analyzing, ready, saved, failed };
    enum class Field { date, vendor, amount, documentType, registrationNumber, taxBreakdown };

    explicit DocumentItem(std::filesystem::path sourcePath);

    const QUuid& id() const { return id_; }
    const std::filesystem::path& sourcePath() const { return sourcePath_; }
    Status status() const { return status_; }
    const ReceiptFields& fields() const { return fields_; }
    // One line per line of text, for the user to inspect.
    const std::string& recognizedText() const { return recognizedText_; }
    std::optional<RecognizedDocument::TextSource> textSource() const { return textSource_; }
    bool usedSemantic() const { return usedSemantic_; }
    const std::optional<RgbImage>& thumbnail() const { return thumbnail_; }
    const std::optional<std::filesystem::path>& outputPath() const { return outputPath_; }
    // Where the document's file is now: where the last save put it (moved, renamed or copied), otherwise
    // where it was added from.
    const std::filesystem::path& currentPath() const { return outputPath_ ? *outputPath_ : sourcePath_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    bool userEdited() const { return userEdited_; }
    const std::set<Field>& editedFields() const { return editedFields_; }
    bool confirmed() const { return confirmed_; }
    // What the register says of the registration number on the document's date, as last checked (by the
    // analysis or by the model after a correction or a new register); nothing when that check was of another
    // number or date, or found neither a register nor the number.
    std::optional<RegistrationStatus> registration() const;
    // Whether the register has yet to be asked about the present number and date.
    bool needsRegistryCheck() const;

    // Ready, neither corrected nor confirmed, and something is doubtful or missing.
    bool needsReview() const;
    // Why it needs a look, for the badge's hover text; empty unless ready, uncorrected and unconfirmed.
    std::vector<std::string> reviewReasons() const;
    // Remembers the vendor in `memory` against the document's registration number and its first telephone
    // number; the entries made, none without a vendor or without either number.
    std::vector<VendorMemory::Entry> rememberVendor(VendorMemory& memory) const;
    // Whether remembering the vendor would change `memory`.
    bool vendorToRemember(const VendorMemory& memory) const;
    // The date for a date picker: the field's day at local midnight, or now when there is no valid date.
    QDateTime dateBinding() const;

    // Transitions, made by the AppModel. Each returns whether anything changed; one that does not apply to
    // the present status changes nothing.

    // From any status: analysing again; the user's values and userEdited stay.
    bool beginAnalysis();
    // From analyzing: ready, with the text; the fields only when the user has not corrected any.
    bool finishAnalysis(const PipelineResult& result);
    // From analyzing: failed with the reason.
    bool failAnalysis(std::string message);
    // From ready: saved at `destination`.
    bool markSaved(std::filesystem::path destination);
    // Ready items only.
    bool confirm();
    // A user correction of `field`, recorded right after the new value was written.
    void markEdited(Field field);
    bool setThumbnail(std::optional<RgbImage> thumbnail);
    // The register's answer for the number and date in `checked`; false when nothing changed.
    bool setRegistration(const ReceiptFields& checked, std::optional<RegistrationStatus> status);
    // The register changed: every answer is asked for again.
    void forgetRegistration();

    // The user's new value for one field, taken from `values`, then markEdited(field). False, and nothing
    // marked, when the value is unchanged.
    bool editField(Field field, const ReceiptFields& values);
    // The day of `date` in the local time zone as the date field (2000-01-01 for parts it cannot give).
    bool setDateBinding(const QDateTime& date);

  private:
    QUuid id_;
    std::filesystem::path sourcePath_;
    Status status_ = Status::queued;
    ReceiptFields fields_;
    std::string recognizedText_;
    std::optional<RecognizedDocument::TextSource> textSource_;
    bool usedSemantic_ = false;
    std::optional<RgbImage> thumbnail_;
    std::optional<std::filesystem::path> outputPath_;
    std::optional<std::string> errorMessage_;
    bool userEdited_ = false;
    std::set<Field> editedFields_;
    bool confirmed_ = false;
    // The number and date the stored answer is for; nothing until one was asked.
    struct RegistryKey {
        std::optional<std::string> number;
        std::optional<DateComponentsValue> date;
        bool operator==(const RegistryKey&) const = default;
    };
    static RegistryKey keyOf(const ReceiptFields& fields) { return {fields.registrationNumber, fields.date}; }
    std::optional<RegistryKey> registryKey_;
    std::optional<RegistrationStatus> registration_;
};

std::ostream& operator<<(std::ostream& os, DocumentItem::Status status);
std::ostream& operator<<(std::ostream& os, DocumentItem::Field field);

}  // namespace tavori
