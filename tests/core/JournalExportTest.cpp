#include <gtest/gtest.h>

#include <iconv.h>

#include <string>
#include <vector>

#include "TavoriCore/JournalExport.h"

namespace tavori {
namespace {

// glibc's own converter, so that the expected bytes do not come from the code under test.
std::string cp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = utf8, out(utf8.size() * 2 + 16, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    EXPECT_NE(iconv(cd, &src, &inLeft, &dst, &outLeft), static_cast<std::size_t>(-1)) << utf8;
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::vector<JournalDocument> documents() {
    JournalDocument mixed;
    mixed.fields.date = DateComponentsValue{2024, 3, 5};
    mixed.fields.vendor = "スーパー山田";
    mixed.fields.amount = 3280;
    mixed.fields.documentType = DocumentType::receipt;
    mixed.fields.registrationNumber = "T1234567890123";
    mixed.fields.taxBreakdown = {{10, 2200, 200, true}, {8, 1000, 80, false}};
    mixed.fileName = "20240305_スーパー山田_3280.pdf";
    JournalDocument plain;
    plain.fields.date = DateComponentsValue{2026, 11, 2};
    plain.fields.vendor = "喫茶ルン";
    plain.fields.amount = 770;
    plain.fileName = "20261102_喫茶ルン_770.jpg";
    JournalDocument noAmount;
    noAmount.fields.date = DateComponentsValue{2024, 4, 1};
    noAmount.fields.vendor = "=不明";
    noAmount.fileName = "scan.png";
    return {mixed, plain, noAmount};
}

AccountTable accounts() {
    AccountTable table;
    table.byType[DocumentType::other] = "雑費";
    return table;
}

const auto remembered = [](std::string_view vendor) -> std::optional<std::string> {
    if (vendor == "喫茶ルン") return "会議費";
    return std::nullopt;
};

TEST(JournalExport, ExactBytesOfEachFormat) {
    const auto docs = documents();
    const auto yayoi = JournalExport::render(JournalExport::Format::yayoi, docs, accounts(), remembered);
    EXPECT_EQ(
        yayoi.bytes,
        cp932("2000,,,2024/03/05,消耗品費,,,課対仕入内10%適格,2200,200,現金,,,対象外,2200,,スーパー山田,,,0,,"
              "20240305_スーパー山田_3280.pdf,,,no\r\n"
              "2000,,,2024/03/05,消耗品費,,,課対仕入内軽減8%適格,1080,80,現金,,,対象外,1080,,スーパー山田,,,"
              "0,,20240305_スーパー山田_3280.pdf,,,no\r\n"
              "2000,,,2026/11/02,会議費,,,課対仕入内10%区分50%,770,,現金,,,対象外,770,,喫茶ルン,,,0,,"
              "20261102_喫茶ルン_770.jpg,,,no\r\n"));
    EXPECT_EQ(yayoi.skipped, std::vector<std::string>{"scan.png"});

    const auto freee = JournalExport::render(JournalExport::Format::freee, docs, accounts(), remembered);
    EXPECT_EQ(
        freee.bytes,
        cp932("収支区分,管理番号,発生日,決済期日,取引先,勘定科目,税区分,金額,税計算区分,税額,備考,品目,部門,"
              "メモタグ（複数指定可、カンマ区切り）,決済日,決済口座,決済金額\r\n"
              "支出,,2024/03/05,,スーパー山田,消耗品費,課対仕入10%,2200,内税,200,"
              "20240305_スーパー山田_3280.pdf,,,,2024/03/05,現金,3280\r\n"
              ",,,,,消耗品費,課対仕入8%（軽）,1080,内税,80,20240305_スーパー山田_3280.pdf,,,,,,\r\n"
              "支出,,2026/11/02,,喫茶ルン,会議費,課対仕入（控50）10%,770,内税,,20261102_喫茶ルン_770.jpg,,,,"
              "2026/11/02,現金,770\r\n"));

    const auto generic = JournalExport::render(JournalExport::Format::generic, docs, accounts(), remembered);
    EXPECT_EQ(generic.bytes,
              "\xEF\xBB\xBF"
              "日付,取引先,勘定科目,金額,10%対象額(税込),10%消費税額,8%対象額(税込),8%消費税額,登録番号,"
              "適格請求書,メモ\r\n"
              "2024/03/05,スーパー山田,消耗品費,3280,2200,200,1080,80,T1234567890123,あり,"
              "20240305_スーパー山田_3280.pdf\r\n"
              "2026/11/02,喫茶ルン,会議費,770,,,,,,なし,20261102_喫茶ルン_770.jpg\r\n"
              "2024/04/01,'=不明,雑費,,,,,,,なし,scan.png\r\n");
}

TEST(JournalExport, CharactersShiftJisLacksAreNamedAndNothingIsWritten) {
    auto docs = documents();
    docs[1].fields.vendor = "𠮷野家";
    docs[1].fileName = "a.pdf";
    const auto out = JournalExport::render(JournalExport::Format::yayoi, docs, accounts());
    EXPECT_TRUE(out.bytes.empty());
    ASSERT_EQ(out.unencodable.size(), 1u);
    EXPECT_EQ(out.unencodable[0].message(),
              "「a.pdf」の「𠮷」(U+20BB7 CJK UNIFIED IDEOGRAPH-20BB7) は Shift_JIS で書けません");
}

TEST(JournalExport, AccountComesFromVendorThenTypeThenFallback) {
    AccountTable table = accounts();
    table.byVendor["喫茶ルン"] = "交際費";
    ReceiptFields f;
    f.vendor = "喫茶ルン";
    EXPECT_EQ(table.accountFor(f, remembered), "交際費");  // the table's own entry before the memory
    f.vendor = "本屋";
    EXPECT_EQ(table.accountFor(f, remembered), "雑費");
    f.documentType = DocumentType::invoice;
    EXPECT_EQ(table.accountFor(f, remembered), "消耗品費");
    const nlohmann::json coded = table;
    EXPECT_EQ(coded.get<AccountTable>(), table);
}

}  // namespace
}  // namespace tavori
