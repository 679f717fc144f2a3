#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/RecognizedDocument.h"
#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/model/GeneratedReceiptFields.h"
#include "TavoriKit/model/LocalModelConfig.h"
#include "TavoriKit/model/SemanticAvailability.h"
#include "TavoriKit/model/SemanticFields.h"

// Asks the local language model for the fields of a document and keeps only what the document's own text
// bears out. The model's answer is untrusted: a value that cannot be found again in the text is dropped.
namespace tavori::SemanticExtractor {

inline constexpr std::size_t maxTextCharacters = 3000;
inline constexpr int maxResponseTokens = 200;

// Whether `config` leads to a server on this machine that serves its model. The server is asked (GET
// /v1/models) at most once per `config.availabilityLifetime` for the same URL and model, however many
// documents ask; a URL outside loopback is never contacted. Safe to call from several threads.
SemanticAvailability availability(const LocalModelConfig& config);
// Drops every remembered probe, so that the next call asks the server again.
void forgetAvailability();

// The model's validated answer for `document`. No value when the model is not available, the text is blank,
// or the exchange fails in any way: no answer in time, an HTTP error, or an answer that is not the requested
// JSON object. Never throws; the caller keeps its rule-based reading. When `cancel` fires, the request is
// abandoned within about a tenth of a second and nothing is returned.
std::optional<SemanticFields> extract(const RecognizedDocument& document,
                                      std::optional<std::string_view> recipientName,
                                      const LocalModelConfig& config, const CancellationToken& cancel = {});

// Keeps each field of `generated` only where `text` bears it out.
SemanticFields validate(const GeneratedReceiptFields& generated, std::string_view text);
// The integers written in `text`: runs of number characters, with commas inside a run ignored.
std::vector<std::int64_t> numberTokens(std::string_view text);
// Whether `vendor` occurs in `text` ignoring case, or at least 60% of its two-letter pieces do.
bool vendorIsGrounded(std::string_view vendor, std::string_view text);

// What the model is sent: the system message, the text it reads, and the user message.
std::string_view instructions();
std::string documentText(const RecognizedDocument& document);
std::string prompt(std::string_view text, std::optional<std::string_view> recipientName);
// `text` as a quoted JSON string, with "/" written as "\/".
std::string jsonString(std::string_view text);

}  // namespace tavori::SemanticExtractor
