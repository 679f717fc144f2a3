#include "TavoriKit/model/SemanticAvailability.h"

namespace tavori {

std::string_view userDescription(SemanticAvailability availability) {
    switch (availability) {
        case SemanticAvailability::available:
            return "ローカルLLMによる意味抽出が有効です";
        case SemanticAvailability::notConfigured:
            return "ローカルLLMサーバーを設定すると意味抽出が使えます（規則ベースの読み取りのみ）";
        case SemanticAvailability::notLocal:
            return "ローカルLLMのURLはこのコンピュータ（localhost）を指す必要があります（規則ベースの読み取り"
                   "のみ）";
        case SemanticAvailability::serverUnreachable:
            return "ローカルLLMサーバーに接続できません。起動すると意味抽出が使えます";
        case SemanticAvailability::modelNotReady:
            return "ローカルLLMのモデルを準備中です";
    }
    return "ローカルLLMのモデルを準備中です";
}

std::string_view rawValue(SemanticAvailability availability) {
    switch (availability) {
        case SemanticAvailability::available:
            return "available";
        case SemanticAvailability::notConfigured:
            return "notConfigured";
        case SemanticAvailability::notLocal:
            return "notLocal";
        case SemanticAvailability::serverUnreachable:
            return "serverUnreachable";
        case SemanticAvailability::modelNotReady:
            return "modelNotReady";
    }
    return "modelNotReady";
}

std::ostream& operator<<(std::ostream& os, SemanticAvailability availability) {
    return os << rawValue(availability);
}

}  // namespace tavori
