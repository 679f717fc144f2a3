#pragma once

#include <string>
#include <vector>

#include "TavoriCore/TextLine.h"

namespace tavori::bench {

// A realistic 40-line convenience-store receipt as a recogniser would return it.
inline std::vector<TextLine> sampleReceipt() {
    const std::vector<std::string> texts = {"ファミリーマート",
                                            "渋谷道玄坂店",
                                            "東京都渋谷区道玄坂２－１０－７",
                                            "電話：０３－１２３４－５６７８",
                                            "登録番号 T1234567890123",
                                            "領収書",
                                            "２０２４年１１月１５日（金） １４：３２",
                                            "レジ０２ 責No.１２３",
                                            "おにぎり　鮭",
                                            "¥１５０",
                                            "おにぎり　梅",
                                            "¥１３０",
                                            "サンドイッチ",
                                            "¥３９８",
                                            "緑茶 ５００ｍｌ",
                                            "¥１４０",
                                            "コーヒー　Ｌ",
                                            "¥１８０",
                                            "ポテトチップス",
                                            "¥１６８",
                                            "チョコレート",
                                            "¥２１０",
                                            "ボールペン",
                                            "¥１２０",
                                            "小計",
                                            "¥１，４９６",
                                            "（８％対象 ¥１，２７６）",
                                            "（１０％対象 ¥２２０）",
                                            "消費税等",
                                            "¥１２３",
                                            "合計",
                                            "¥１，６１９",
                                            "お預り",
                                            "¥２，０００",
                                            "お釣り",
                                            "¥３８１",
                                            "上記正に領収いたしました",
                                            "ポイント ２０Ｐ",
                                            "またのご来店をお待ちしております",
                                            "株式会社ファミリーマート"};
    std::vector<TextLine> lines;
    for (std::size_t i = 0; i < texts.size(); ++i)
        lines.push_back(TextLine{texts[i], static_cast<double>(i) / texts.size(), (i % 2) * 0.5, 0, 0.9, {}});
    return lines;
}

}  // namespace tavori::bench
