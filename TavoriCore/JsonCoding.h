#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// Small helpers for the coded forms of the value types, shared by their to_json/from_json pairs.
namespace tavori::JsonCoding {

// An integer member decoded strictly: a fraction, a boolean or a value beyond the 64-bit range is an error,
// not a silently converted number (a huge float would otherwise convert with undefined behaviour).
template <class Json>
std::int64_t int64(const Json& j) {
    if (j.is_number_unsigned()) {
        const auto value = j.template get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            throw Json::out_of_range::create(406, "integer " + std::to_string(value) + " is out of range",
                                             &j);
        return static_cast<std::int64_t>(value);
    }
    if (j.is_number_integer()) return j.template get<std::int64_t>();
    throw Json::type_error::create(302, std::string("type must be an integer, but is ") + j.type_name(), &j);
}

// The member `key` of the object `j`, or null when it is absent or null (optional members are left out when
// encoding; a null is read the same way).
template <class Json>
const Json* optionalMember(const Json& j, std::string_view key) {
    if (!j.is_object())
        throw Json::type_error::create(302, std::string("type must be object, but is ") + j.type_name(), &j);
    const auto it = j.find(key);
    return it == j.end() || it->is_null() ? nullptr : &*it;
}

}  // namespace tavori::JsonCoding
