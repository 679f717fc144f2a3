#pragma once

#include <filesystem>
#include <string>

#include "TavoriKit/service/ReceiptPipeline.h"

namespace tavori {

// The program's only log: in development runs, one block per analysed document on standard output, to tune
// the reading rules against real documents. Silent in a normal run.
namespace DevLog {

// On in an unpackaged build, otherwise only when TAVORI_DEBUG is "1"; computed once.
bool enabled();
// The same rule from given values (null for an unset variable).
bool enabledFor(bool packaged, const char* debugVariable);

// The block for one document: header, the lines, the rules' and merged fields, levels, the model's answer
// when there is one, and the notes.
std::string text(const std::filesystem::path& url, const PipelineResult& result);
// Writes text() in one write when enabled().
void dump(const std::filesystem::path& url, const PipelineResult& result);

}  // namespace DevLog

}  // namespace tavori
