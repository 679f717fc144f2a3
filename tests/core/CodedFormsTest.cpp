#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/IndexBookEntry.h"
#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/RecognizedDocument.h"
#include "TavoriCore/VendorAliasDictionary.h"

// The coded forms that settings and the command line's JSON store: each type's exact form, read back equal in
// both JSON flavours; and what decoding refuses, once for each kind of fault, on the types that meet it.
namespace tavori {
namespace {

using Level = FieldConfidence::Level;

template <class T>
void expectForm(const T& value, const std::string& form) {
    EXPECT_EQ(nlohmann::ordered_json(value).dump(), form);
    EXPECT_EQ(nlohmann::ordered_json::parse(form).get<T>(), value) << form;
    EXPECT_EQ(nlohmann::json::parse(form).get<T>(), value) << form;
}

TEST(CodedForms, EachTypesExactFormReadsBackEqual) {
    expectForm(DateComponentsValue{2024, 1, 5}, R"({"year":2024,"month":1,"day":5})");
    expectForm(DocumentType::deliveryNote, R"("納品書")");
    EXPECT_EQ(rawValue(RecognizedDocument::TextSource::pdfTextLayer), "pdfTextLayer");
    EXPECT_EQ(textSourceFromRawValue("OCR"), std::nullopt);
    expectForm(FieldConfidence{Level::low, Level::missing, Level::medium, {"日付: 一", "金額: 二"}},
               R"({"date":"low","vendor":"missing","amount":"medium","notes":["日付: 一","金額: 二"]})");
    expectForm(FileNameTemplate::standard(),
               R"({"template":"{date}_{vendor}_{amount}","dateFormat":"yyyyMMdd","amountStyle":"12345",)"
               R"("maxVendorLength":30})");
    expectForm(FileNameTemplate{"{type}_{date}", "yyyy-MM-dd", FileNameTemplate::AmountStyle::groupedYen, 12},
               R"({"template":"{type}_{date}","dateFormat":"yyyy-MM-dd","amountStyle":"12,345円",)"
               R"("maxVendorLength":12})");
    expectForm(
        IndexBookEntry{3, DateComponentsValue{2024, 3, 5}, 1280, "A", DocumentType::invoice, "a.pdf",
                       "T1234567890123", "n"},
        R"({"sequence":3,"date":{"year":2024,"month":3,"day":5},"amount":1280,"vendor":"A",)"
        R"("documentType":"請求書","fileName":"a.pdf","registrationNumber":"T1234567890123","note":"n"})");
    // Absent values are left out.
    expectForm(IndexBookEntry{1, std::nullopt, std::nullopt, "", DocumentType::other, "x", std::nullopt, ""},
               R"({"sequence":1,"vendor":"","documentType":"その他","fileName":"x","note":""})");
    ReceiptFields full{DateComponentsValue{2024, 3, 15},
                       "ABC商店",
                       std::numeric_limits<std::int64_t>::max(),
                       DocumentType::invoice,
                       "T1234567890123",
                       FieldConfidence{Level::high, Level::medium, Level::low, {"金額: 注記"}}};
    expectForm(full,
               R"({"date":{"year":2024,"month":3,"day":15},"vendor":"ABC商店","amount":9223372036854775807,)"
               R"("documentType":"請求書","registrationNumber":"T1234567890123",)"
               R"("confidence":{"date":"high","vendor":"medium","amount":"low","notes":["金額: 注記"]}})");
    full.amount = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(nlohmann::json::parse(nlohmann::json(full).dump()).get<ReceiptFields>(), full);
    // The empty record every analysis starts from; nulls read as absent values.
    expectForm(ReceiptFields{},
               R"({"vendor":"","documentType":"その他",)"
               R"("confidence":{"date":"missing","vendor":"missing","amount":"missing","notes":[]}})");
    EXPECT_EQ(nlohmann::json::parse(R"({"date":null,"vendor":"","amount":null,"documentType":"その他",)"
                                    R"("registrationNumber":null,"confidence":{"date":"missing",)"
                                    R"("vendor":"missing","amount":"missing","notes":[]}})")
                  .get<ReceiptFields>(),
              ReceiptFields{});
    const auto id = Uuid::fromString("0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5f");
    ASSERT_TRUE(id);
    expectForm(VendorAliasDictionary{{{*id, "ｾﾌﾞﾝ", "セブンイレブン"}}, false},
               R"({"rules":[{"id":"0F8E2A6C-1B3D-4C5E-9F70-8A1B2C3D4E5F","pattern":"ｾﾌﾞﾝ",)"
               R"("canonical":"セブンイレブン"}],"stripCorporateSuffix":false})");
    expectForm(VendorAliasDictionary{}, R"({"rules":[],"stripCorporateSuffix":true})");
}

template <class T>
std::function<void(const std::string&)> decoding() {
    return [](const std::string& text) {
        EXPECT_THROW(nlohmann::json::parse(text).get<T>(), nlohmann::json::exception) << text;
        EXPECT_THROW(nlohmann::ordered_json::parse(text).get<T>(), nlohmann::json::exception) << text;
    };
}

TEST(CodedForms, DecodingRefusesMissingMistypedOrUnknownMembers) {
    const std::string confidence =
        R"("confidence":{"date":"high","vendor":"high","amount":"high","notes":[]})";
    const std::string fields = R"({"vendor":"","documentType":"その他",)" + confidence + ",";
    const std::string dictionary = R"({"stripCorporateSuffix":true,"rules":[{"id":)";
    const std::vector<std::pair<std::function<void(const std::string&)>, std::vector<std::string>>> cases = {
        {decoding<DateComponentsValue>(), {R"({"year":2024,"month":1})"}},
        {decoding<DocumentType>(), {R"("Receipt")"}},
        {decoding<FieldConfidence>(),
         {R"({"date":"high","vendor":"high","amount":"high"})",
          R"({"vendor":"high","amount":"high","notes":[]})",
          R"({"date":"High","vendor":"high","amount":"high","notes":[]})",
          R"({"date":"high","vendor":"high","amount":"high","notes":[3]})"}},
        {decoding<FileNameTemplate>(),
         {R"({"dateFormat":"d","amountStyle":"12345","maxVendorLength":30})",
          R"({"template":"x","dateFormat":"d","amountStyle":"plain","maxVendorLength":30})",
          R"({"template":"x","dateFormat":"d","amountStyle":"12345","maxVendorLength":1e40})"}},
        {decoding<IndexBookEntry>(),
         {R"({"vendor":"","documentType":"その他","fileName":"x","note":""})",
          R"({"sequence":1,"vendor":"","documentType":"その他","note":""})",
          R"({"sequence":1.5,"vendor":"","documentType":"その他","fileName":"x","note":""})"}},
        {decoding<ReceiptFields>(),
         {R"({"documentType":"その他",)" + confidence + "}", R"({"vendor":"","documentType":"その他"})",
          fields + R"("amount":12.5})", fields + R"("amount":1e300})",
          fields + R"("amount":9223372036854775808})", fields + R"("amount":true})"}},
        {decoding<VendorAliasDictionary>(),
         {"[]", R"({"rules":[]})", R"({"rules":{},"stripCorporateSuffix":true})",
          R"({"rules":[],"stripCorporateSuffix":"true"})", R"({"rules":[],"stripCorporateSuffix":1})",
          dictionary + R"("0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5","pattern":"a","canonical":"b"}]})",
          dictionary + R"("0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5f","pattern":3,"canonical":"b"}]})",
          dictionary + R"("0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5f","canonical":"b"}]})",
          dictionary + R"("0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5f","pattern":"a"}]})",
          R"({"stripCorporateSuffix":true,"rules":[{"pattern":"a","canonical":"b"}]})"}},
    };
    for (const auto& [decode, texts] : cases)
        for (const auto& text : texts) decode(text);
}

}  // namespace
}  // namespace tavori
