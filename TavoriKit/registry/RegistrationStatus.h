#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "TavoriKit/registry/RegistryRecord.h"

namespace tavori {

// Whether a document's registration number can be relied on for the purchase tax credit, as the imported
// register says: the number must be registered and its registration in force on the document's date.
struct RegistrationStatus {
    enum class State {
        registered,        // in force on the date (or, without a date, not ended)
        notFound,          // not in the register (or deleted from it)
        notYetRegistered,  // registered only after the date
        expired,           // the registration lapsed (失効) on or before the date
        cancelled,         // the registration was cancelled (取消) on or before the date
    };

    State state = State::notFound;
    std::string number;
    // The date checked: the document's own date; absent when the document has none.
    std::optional<DateComponentsValue> date;
    // The register's own details, when the number is in it.
    std::string registeredName;
    std::string tradeName;
    std::optional<RegistryRecord::Kind> kind;
    std::optional<DateComponentsValue> registrationDate;
    // The day the registration ended (the earlier of the cancellation and expiry dates), if it has.
    std::optional<DateComponentsValue> endDate;
    // The newest update the imported data holds: a number registered after it cannot be known.
    std::optional<DateComponentsValue> registryDate;

    bool operator==(const RegistrationStatus&) const = default;

    // Registered and in force on the document's date.
    bool isReliable() const { return state == State::registered; }
    // One Japanese sentence for the user: the registered name, or what is wrong.
    std::string message() const;
    // The name a vendor field would take from the register: the published trade name of a sole proprietor
    // when there is one (that is what a receipt shows), otherwise the registered name, in the normalised
    // form the analysis gives names (full-width letters and digits made half-width).
    std::string vendorSuggestion() const;

    // The status of `number` on `date` given what the register holds for it (nothing when it is not there).
    static RegistrationStatus evaluate(std::string_view number, const std::optional<RegistryRecord>& record,
                                       std::optional<DateComponentsValue> date,
                                       std::optional<DateComponentsValue> registryDate);
};

std::string_view rawValue(RegistrationStatus::State state);
std::ostream& operator<<(std::ostream& os, const RegistrationStatus& status);

// Keys "state", "number", "date", "registeredName", "tradeName", "kind" ("corporation" or "soleProprietor"),
// "registrationDate", "endDate", "registryDate", "message"; absent values are left out. Dates are coded as
// everywhere else ({"year", "month", "day"}).
void to_json(nlohmann::ordered_json& j, const RegistrationStatus& status);

}  // namespace tavori
