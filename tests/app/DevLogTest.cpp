#include <gtest/gtest.h>

#include "TavoriName/DevLog.h"

using tavori::DateComponentsValue;
using tavori::PipelineResult;
using tavori::RecognizedDocument;
using tavori::TextLine;

namespace {

TEST(DevLogTest, OnOutsideAPackageOrWithTheVariableSetToOne) {
    struct Case {
        bool packaged;
        const char* variable;
        bool enabled;
    };
    for (const Case& c : std::vector<Case>{{false, nullptr, true},
                                           {false, "0", true},
                                           {true, nullptr, false},
                                           {true, "1", true},
                                           {true, "true", false},
                                           {true, "", false},
                                           {true, "1 ", false}})
        EXPECT_EQ(tavori::DevLog::enabledFor(c.packaged, c.variable), c.enabled)
            << "packaged " << c.packaged << ", TAVORI_DEBUG " << (c.variable ? c.variable : "(unset)");
}

TEST(DevLogTest, TheBlockShowsLinesFieldsLevelsModelAndNotes) {
    PipelineResult result;
    result.document.source = RecognizedDocument::TextSource::ocr;
    result.document.lines = {TextLine{"さくら文具店", 0.1, 0.1, 0, 0.9, {}},
                             TextLine{"合計 ¥990", 0.5, 0.1, 0, 0.8, {"合計 ¥990", "合計 ¥996"}}};
    result.fields.date = DateComponentsValue{2024, 3, 15};
    result.fields.vendor = "さくら文具店";
    result.fields.amount = 990;
    result.fields.documentType = tavori::DocumentType::receipt;
    result.fields.registrationNumber = "T1234567890123";
    result.fields.confidence.date = tavori::FieldConfidence::Level::medium;
    result.fields.confidence.vendor = tavori::FieldConfidence::Level::high;
    result.fields.confidence.amount = tavori::FieldConfidence::Level::low;
    result.fields.confidence.notes = {"金額: 候補が複数あります"};
    result.usedSemantic = true;
    result.semantic = tavori::SemanticFields{};
    result.semantic->amount = 990;
    result.semantic->documentType = tavori::DocumentType::receipt;

    EXPECT_EQ(
        tavori::DevLog::text("/in/scan_0001.pdf", result),
        "==== scan_0001.pdf (ocr + local LLM)\n"
        "さくら文具店\n"
        "合計 ¥990   [拡大: 合計 ¥990 / 合計 ¥996]\n"
        "---- rules+merged: date=2024-03-15 vendor=さくら文具店 amount=990 type=領収書 regno=T1234567890123\n"
        "     confidence: date=medium vendor=high amount=low\n"
        "     model: date=- vendor=- amount=990 type=領収書\n"
        "     note: 金額: 候補が複数あります\n");
}

}  // namespace
