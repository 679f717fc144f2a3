#include <ostream>

#include "TavoriKit/RenameService.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"

namespace tavori::Commands {

int exportIndex(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    AppSettings settings = CommandSupport::loadSettings();
    if (options.templateText) settings.nameTemplate.templateText = *options.templateText;
    const auto analyses = CommandSupport::analyzeFiles(options.files, settings, err);
    bool failed = false;
    std::vector<IndexBookEntry> entries;
    for (const auto& a : analyses) {
        if (!a.ok()) {
            err << a.source.native() << ": " << a.error << '\n';
            failed = true;
            continue;
        }
        const ReceiptFields& f = *a.fields;
        IndexBookEntry entry;
        entry.sequence = static_cast<std::int64_t>(entries.size() + 1);
        entry.date = f.date;
        entry.amount = f.amount;
        entry.vendor = f.vendor;
        entry.documentType = f.documentType;
        // Not saved yet: the name the template gives now, with the source's extension as it stands.
        entry.fileName = CommandSupport::baseName(settings.nameTemplate, a) + a.source.extension().native();
        entry.registrationNumber = f.registrationNumber;
        entries.push_back(std::move(entry));
    }
    try {
        RenameService::writeIndexBook(entries, options.output);
    } catch (const std::exception& e) {
        err << e.what() << '\n';
        return 1;
    }
    out << "索引簿 (index book): " << options.output.native() << " (" << entries.size() << ")\n";
    return failed ? 1 : 0;
}

}  // namespace tavori::Commands
