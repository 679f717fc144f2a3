#include "TavoriKit/registry/RegistrySource.h"

namespace tavori {

RegistrySource::RegistrySource(std::filesystem::path location) : location_(std::move(location)) {}

std::shared_ptr<const InvoiceRegistry> RegistrySource::current() const {
    std::error_code ec;
    const auto stamp = std::filesystem::last_write_time(location_, ec);
    const std::lock_guard lock(mutex_);
    if (ec) {
        registry_.reset();
        return nullptr;
    }
    if (!registry_ || stamp != stamp_) {
        stamp_ = stamp;
        try {
            registry_ = InvoiceRegistry::open(location_);
        } catch (const RegistryError&) {
            // `tavori registry status` says what is wrong with it; the analysis goes on without it.
            registry_.reset();
        }
    }
    return registry_;
}

std::optional<RegistrationStatus> RegistrySource::check(const ReceiptFields& fields) const {
    if (!fields.registrationNumber) return std::nullopt;
    const auto registry = current();
    if (!registry) return std::nullopt;
    try {
        return registry->check(fields);
    } catch (const RegistryError&) {
        return std::nullopt;
    }
}

void applyRegisteredName(ReceiptFields& fields, const RegistrationStatus& status,
                         const VendorAliasDictionary& aliases) {
    using Level = FieldConfidence::Level;
    if (fields.confidence.vendor == Level::high || status.state == RegistrationStatus::State::notFound)
        return;
    const std::string& chosen = status.tradeName.empty() ? status.registeredName : status.tradeName;
    const std::string name = aliases.canonicalName(chosen);
    if (name.empty() || name == fields.vendor) return;
    fields.vendor = name;
    fields.confidence.vendor = Level::medium;
    fields.confidence.notes.push_back("取引先: 登録番号 " + status.number + " の公表データから「" + name +
                                      "」としました");
}

}  // namespace tavori
