#include "TavoriName/DocumentItem.h"

#include <QDate>
#include <QTime>

namespace tavori {

namespace {

std::string joinedLines(const RecognizedDocument& document) {
    std::string text;
    bool first = true;
    for (const TextLine& line : document.sortedLines()) {
        if (!first) text += '\n';
        text += line.text;
        first = false;
    }
    return text;
}

}  // namespace

DocumentItem::DocumentItem(std::filesystem::path sourcePath)
    : id_(QUuid::createUuid()), sourcePath_(std::move(sourcePath)) {}

bool DocumentItem::needsReview() const {
    if (status_ != Status::ready || userEdited_ || confirmed_) return false;
    return asksForReview(fields_);
}

std::vector<std::string> DocumentItem::reviewReasons() const {
    if (status_ != Status::ready || userEdited_ || confirmed_) return {};
    return fields_.confidence.reviewReasons();
}

QDateTime DocumentItem::dateBinding() const {
    if (fields_.date) {
        const QDate day(fields_.date->year, fields_.date->month, fields_.date->day);
        if (day.isValid()) return QDateTime(day, QTime(0, 0), Qt::LocalTime);
    }
    return QDateTime::currentDateTime();
}

bool DocumentItem::beginAnalysis() {
    status_ = Status::analyzing;
    confirmed_ = false;
    editedFields_.clear();
    errorMessage_.reset();
    return true;
}

bool DocumentItem::finishAnalysis(const PipelineResult& result) {
    if (status_ != Status::analyzing) return false;
    recognizedText_ = joinedLines(result.document);
    textSource_ = result.document.source;
    usedSemantic_ = result.usedSemantic;
    if (!userEdited_) fields_ = result.fields;
    // A pipeline without a register leaves the question open for the model to ask.
    if (result.registration || !result.fields.registrationNumber)
        setRegistration(result.fields, result.registration);
    status_ = Status::ready;
    return true;
}

std::optional<RegistrationStatus> DocumentItem::registration() const {
    if (registryKey_ != keyOf(fields_)) return std::nullopt;
    return registration_;
}

bool DocumentItem::needsRegistryCheck() const {
    return fields_.registrationNumber && registryKey_ != keyOf(fields_);
}

bool DocumentItem::setRegistration(const ReceiptFields& checked, std::optional<RegistrationStatus> status) {
    const RegistryKey key = keyOf(checked);
    if (registryKey_ == key && registration_ == status) return false;
    registryKey_ = key;
    registration_ = std::move(status);
    return true;
}

void DocumentItem::forgetRegistration() {
    registryKey_.reset();
    registration_.reset();
}

bool DocumentItem::failAnalysis(std::string message) {
    if (status_ != Status::analyzing) return false;
    status_ = Status::failed;
    errorMessage_ = std::move(message);
    return true;
}

bool DocumentItem::markSaved(std::filesystem::path destination) {
    if (status_ != Status::ready) return false;
    outputPath_ = std::move(destination);
    status_ = Status::saved;
    return true;
}

std::vector<VendorMemory::Entry> DocumentItem::rememberVendor(VendorMemory& memory) const {
    if (fields_.vendor.empty()) return {};
    return memory.rememberDocument(fields_.registrationNumber,
                                   TelephoneNumberExtractor::extract(recognizedText_), fields_.vendor);
}

bool DocumentItem::vendorToRemember(const VendorMemory& memory) const {
    VendorMemory changed = memory;
    rememberVendor(changed);
    return changed != memory;
}

bool DocumentItem::confirm() {
    if (status_ != Status::ready || confirmed_) return false;
    confirmed_ = true;
    return true;
}

void DocumentItem::markEdited(Field field) {
    userEdited_ = true;
    editedFields_.insert(field);
}

bool DocumentItem::setThumbnail(std::optional<RgbImage> thumbnail) {
    if (thumbnail_ == thumbnail) return false;
    thumbnail_ = std::move(thumbnail);
    return true;
}

bool DocumentItem::editField(Field field, const ReceiptFields& values) {
    switch (field) {
        case Field::date:
            if (fields_.date == values.date) return false;
            fields_.date = values.date;
            break;
        case Field::vendor:
            if (fields_.vendor == values.vendor) return false;
            fields_.vendor = values.vendor;
            break;
        case Field::amount:
            if (fields_.amount == values.amount) return false;
            fields_.amount = values.amount;
            break;
        case Field::documentType:
            if (fields_.documentType == values.documentType) return false;
            fields_.documentType = values.documentType;
            break;
        case Field::registrationNumber:
            if (fields_.registrationNumber == values.registrationNumber) return false;
            fields_.registrationNumber = values.registrationNumber;
            break;
        case Field::taxBreakdown:
            if (fields_.taxBreakdown == values.taxBreakdown) return false;
            fields_.taxBreakdown = values.taxBreakdown;
            break;
    }
    // The amounts by rate are held to the total as it now stands.
    if (field == Field::amount || field == Field::taxBreakdown)
        fields_.confidence.taxBreakdown = TaxBreakdown::assess(fields_.taxBreakdown, fields_.amount);
    markEdited(field);
    return true;
}

bool DocumentItem::setDateBinding(const QDateTime& date) {
    const QDate day = date.toLocalTime().date();
    ReceiptFields values;
    values.date = DateComponentsValue{day.isValid() ? day.year() : 2000, day.isValid() ? day.month() : 1,
                                      day.isValid() ? day.day() : 1};
    return editField(Field::date, values);
}

std::ostream& operator<<(std::ostream& os, DocumentItem::Status status) {
    switch (status) {
        case DocumentItem::Status::queued:
            return os << "queued";
        case DocumentItem::Status::analyzing:
            return os << "analyzing";
        case DocumentItem::Status::ready:
            return os << "ready";
        case DocumentItem::Status::saved:
            return os << "saved";
        case DocumentItem::Status::failed:
            return os << "failed";
    }
    return os << "unknown";
}

std::ostream& operator<<(std::ostream& os, DocumentItem::Field field) {
    switch (field) {
        case DocumentItem::Field::date:
            return os << "date";
        case DocumentItem::Field::vendor:
            return os << "vendor";
        case DocumentItem::Field::amount:
            return os << "amount";
        case DocumentItem::Field::documentType:
            return os << "documentType";
        case DocumentItem::Field::registrationNumber:
            return os << "registrationNumber";
        case DocumentItem::Field::taxBreakdown:
            return os << "taxBreakdown";
    }
    return os << "unknown";
}

}  // namespace tavori
