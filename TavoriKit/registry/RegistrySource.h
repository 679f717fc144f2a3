#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriKit/registry/InvoiceRegistry.h"

namespace tavori {

// The imported register at one location, for analyses on several threads: opened when first needed and again
// after an import replaced it, so a register imported while the program runs is used from the next document
// on. No register, or one that cannot be read, is the same as none.
class RegistrySource {
  public:
    explicit RegistrySource(std::filesystem::path location);

    const std::filesystem::path& location() const { return location_; }
    // The register's status of the document's number on its date; nothing without a number or a register.
    std::optional<RegistrationStatus> check(const ReceiptFields& fields) const;

  private:
    std::shared_ptr<const InvoiceRegistry> current() const;

    std::filesystem::path location_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const InvoiceRegistry> registry_;
    mutable std::filesystem::file_time_type stamp_{};
};

// Where the rules' vendor is missing or uncertain (not high), the registered name of the document's number:
// the trade name where the register publishes one, else the registered name, through the user's aliases (so
// without company-form words when they say so), at medium confidence and with a note. A vendor rated high, or
// a number the register does not hold, is left as it is.
void applyRegisteredName(ReceiptFields& fields, const RegistrationStatus& status,
                         const VendorAliasDictionary& aliases);

}  // namespace tavori
