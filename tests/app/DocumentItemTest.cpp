#include <gtest/gtest.h>

#include "TavoriName/DocumentItem.h"

using tavori::DateComponentsValue;
using tavori::DocumentItem;
using tavori::DocumentType;
using tavori::PipelineResult;
using tavori::ReceiptFields;
using Level = tavori::FieldConfidence::Level;
using Status = DocumentItem::Status;
using Field = DocumentItem::Field;

namespace {

ReceiptFields completeFields() {
    ReceiptFields fields;
    fields.date = DateComponentsValue{2024, 3, 5};
    fields.vendor = "セブンイレブン";
    fields.amount = 1280;
    fields.documentType = DocumentType::receipt;
    fields.confidence.date = fields.confidence.vendor = fields.confidence.amount = Level::high;
    return fields;
}

PipelineResult resultWith(const ReceiptFields& fields, const std::string& text = "合計 1280") {
    PipelineResult result;
    result.document =
        tavori::RecognizedDocument::fromPlainText(text, tavori::RecognizedDocument::TextSource::ocr, 0);
    result.fields = fields;
    return result;
}

DocumentItem readyItem(const ReceiptFields& fields) {
    DocumentItem item("/tmp/a.pdf");
    item.beginAnalysis();
    item.finishAnalysis(resultWith(fields));
    return item;
}

TEST(DocumentItemTest, ANewItemIsQueuedEmptyAndAsksForNothing) {
    const DocumentItem item("/docs/r.pdf");
    EXPECT_EQ(item.status(), Status::queued);
    EXPECT_EQ(item.fields(), ReceiptFields());
    EXPECT_EQ(item.fields().documentType, DocumentType::other);
    EXPECT_FALSE(item.needsReview());
    EXPECT_TRUE(item.reviewReasons().empty());
    EXPECT_NE(item.id(), DocumentItem("/docs/r.pdf").id()) << "two items are never the same";
}

TEST(DocumentItemTest, TransitionsApplyOnlyFromTheirStatus) {
    DocumentItem item("/docs/r.pdf");
    EXPECT_FALSE(item.finishAnalysis(resultWith(completeFields()))) << "not analysing yet";
    EXPECT_FALSE(item.markSaved("/out/x.pdf")) << "not ready";
    EXPECT_FALSE(item.confirm()) << "not ready";

    item.beginAnalysis();
    EXPECT_EQ(item.status(), Status::analyzing);
    EXPECT_TRUE(item.failAnalysis("ファイルを読み込めませんでした"));
    EXPECT_EQ(item.status(), Status::failed);
    EXPECT_EQ(item.errorMessage(), "ファイルを読み込めませんでした");
    EXPECT_FALSE(item.confirm()) << "a failed item cannot be confirmed";
    EXPECT_FALSE(item.finishAnalysis(resultWith(completeFields()))) << "a late result after failing";

    item.beginAnalysis();
    EXPECT_FALSE(item.errorMessage()) << "cleared by a new analysis";
    EXPECT_TRUE(item.finishAnalysis(resultWith(completeFields(), "セブンイレブン\n合計 1280")));
    EXPECT_EQ(item.status(), Status::ready);
    EXPECT_EQ(item.recognizedText(), "セブンイレブン\n合計 1280");
    EXPECT_EQ(item.textSource(), tavori::RecognizedDocument::TextSource::ocr);
    EXPECT_FALSE(item.failAnalysis("x")) << "a late error after finishing";

    EXPECT_TRUE(item.confirm());
    EXPECT_TRUE(item.markSaved("/out/20240305.pdf"));
    EXPECT_EQ(item.status(), Status::saved);
    EXPECT_EQ(item.outputPath(), std::filesystem::path("/out/20240305.pdf"));

    item.beginAnalysis();
    EXPECT_FALSE(item.confirmed()) << "a new analysis asks again";
    EXPECT_EQ(item.outputPath(), std::filesystem::path("/out/20240305.pdf")) << "kept when analysed again";
    EXPECT_EQ(item.sourcePath(), std::filesystem::path("/docs/r.pdf"));
}

TEST(DocumentItemTest, CorrectionsSurviveAnalysisButTheirMarksDoNot) {
    DocumentItem item = readyItem(completeFields());
    ReceiptFields values;
    values.vendor = "ファミリーマート";
    EXPECT_TRUE(item.editField(Field::vendor, values));
    EXPECT_FALSE(item.editField(Field::vendor, values)) << "the same value again is no correction";
    EXPECT_TRUE(item.userEdited());
    EXPECT_EQ(item.editedFields(), std::set<Field>{Field::vendor});

    ReceiptFields other = completeFields();
    other.vendor = "ローソン";
    other.amount = 999;
    item.beginAnalysis();
    EXPECT_TRUE(item.editedFields().empty());
    EXPECT_TRUE(item.userEdited());
    item.finishAnalysis(resultWith(other, "ローソン"));
    EXPECT_EQ(item.fields().vendor, "ファミリーマート") << "the user's values stay";
    EXPECT_EQ(item.fields().amount, 1280);
    EXPECT_EQ(item.recognizedText(), "ローソン") << "the text is refreshed";
}

TEST(DocumentItemTest, ReviewIsAskedForDoubtOrGapsUntilCorrectedOrConfirmed) {
    struct Case {
        const char* label;
        std::function<void(ReceiptFields&)> change;
        bool needsReview;
    };
    const std::vector<Case> cases = {
        // Which fields ask for review is the fields' own test; here, what a correction or a confirmation
        // does.
        {"all high", [](ReceiptFields&) {}, false},
        {"no amount", [](ReceiptFields& f) { f.amount.reset(); }, true},
        {"low vendor", [](ReceiptFields& f) { f.confidence.vendor = Level::low; }, true},
    };
    for (const Case& c : cases) {
        ReceiptFields fields = completeFields();
        c.change(fields);
        DocumentItem item = readyItem(fields);
        EXPECT_EQ(item.needsReview(), c.needsReview) << c.label;

        DocumentItem corrected = readyItem(fields);
        corrected.markEdited(Field::amount);
        EXPECT_FALSE(corrected.needsReview()) << c.label << ", corrected";
        EXPECT_TRUE(corrected.reviewReasons().empty()) << c.label << ", corrected";

        DocumentItem confirmed = readyItem(fields);
        confirmed.confirm();
        EXPECT_FALSE(confirmed.needsReview()) << c.label << ", confirmed";
        EXPECT_TRUE(confirmed.reviewReasons().empty()) << c.label << ", confirmed";
    }
    ReceiptFields doubtful = completeFields();
    doubtful.confidence.vendor = Level::low;
    EXPECT_EQ(readyItem(doubtful).reviewReasons(), doubtful.confidence.reviewReasons());
}

TEST(DocumentItemTest, TheDatePickerShowsTheDayAtLocalMidnightOrToday) {
    DocumentItem item = readyItem(completeFields());
    EXPECT_EQ(item.dateBinding(), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));

    ReceiptFields impossible = completeFields();
    impossible.date = DateComponentsValue{2024, 2, 30};
    DocumentItem odd = readyItem(impossible);
    EXPECT_LE(std::abs(odd.dateBinding().secsTo(QDateTime::currentDateTime())), 5) << "an impossible date";

    ReceiptFields none = completeFields();
    none.date.reset();
    DocumentItem undated = readyItem(none);
    EXPECT_EQ(undated.dateBinding().date(), QDate::currentDate());
    EXPECT_FALSE(undated.fields().date) << "showing today stores nothing";

    EXPECT_TRUE(undated.setDateBinding(QDateTime(QDate(2024, 3, 5), QTime(23, 59))));
    EXPECT_EQ(undated.fields().date, (DateComponentsValue{2024, 3, 5}));
    EXPECT_EQ(undated.editedFields(), std::set<Field>{Field::date});
    EXPECT_EQ(undated.dateBinding(), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
}

TEST(DocumentItemTest, TheRegistersAnswerHoldsOnlyForTheNumberAndDateItWasFor) {
    ReceiptFields fields = completeFields();
    fields.registrationNumber = "T1234567890123";
    tavori::RegistrationStatus registered;
    registered.state = tavori::RegistrationStatus::State::registered;
    registered.number = *fields.registrationNumber;
    PipelineResult result = resultWith(fields);
    result.registration = registered;
    DocumentItem item("/tmp/a.pdf");
    item.beginAnalysis();
    item.finishAnalysis(result);
    EXPECT_EQ(item.registration(), registered) << "the analysis asked the register";
    EXPECT_FALSE(item.needsRegistryCheck());

    for (const Field field : {Field::registrationNumber, Field::date}) {
        SCOPED_TRACE(::testing::PrintToString(field));
        ReceiptFields corrected = item.fields();
        corrected.registrationNumber = "T5000012010024";
        corrected.date = DateComponentsValue{2025, 1, 1};
        ASSERT_TRUE(item.editField(field, corrected));
        EXPECT_EQ(item.registration(), std::nullopt) << "an answer for another number or day";
        EXPECT_TRUE(item.needsRegistryCheck());
        EXPECT_TRUE(item.setRegistration(item.fields(), std::nullopt));
        EXPECT_FALSE(item.needsRegistryCheck()) << "asked: the register does not know it";
    }
    item.forgetRegistration();
    EXPECT_TRUE(item.needsRegistryCheck()) << "a new register";

    // A pipeline without a register leaves the question to the model; without a number there is none.
    EXPECT_TRUE(readyItem(fields).needsRegistryCheck());
    EXPECT_FALSE(readyItem(completeFields()).needsRegistryCheck());
}

}  // namespace
