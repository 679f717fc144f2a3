#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <nlohmann/json.hpp>

// The coded forms of the value types, in two shapes: a keyed object, whose members each type lists once with
// `TAVORI_JSON_OBJECT`, and an enumeration coded as its raw value, whose raw values each type lists once in a
// `JsonCoding::RawValues` table and codes with `TAVORI_JSON_RAW_VALUE`; a type with members that need more
// than their own coding writes one encode and one decode template and codes with `TAVORI_JSON_CODED_BY`. All
// code for nlohmann::json and nlohmann::ordered_json alike; declare the four functions with
// `TAVORI_JSON_DECLARE`.
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

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

// A value decoded as its type asks: 64-bit integers strictly (see `int64`), everything else by its own
// from_json.
template <class V, class Json>
V decoded(const Json& j) {
    if constexpr (std::is_same_v<V, std::int64_t>) {
        return int64(j);
    } else {
        return j.template get<V>();
    }
}

// One member of a keyed object: its key and the field it codes. A std::optional field is left out when empty
// and may be absent or null when decoding; every other member is required.
template <class T, class V>
struct Member {
    const char* key;
    V T::*field;

    template <class Json>
    void encode(Json& j, const T& value) const {
        const V& v = value.*field;
        if constexpr (IsOptional<V>::value) {
            if (v) j[key] = *v;
        } else {
            j[key] = v;
        }
    }
    template <class Json>
    void decode(const Json& j, T& value) const {
        if constexpr (IsOptional<V>::value) {
            if (const Json* m = optionalMember(j, key)) value.*field = decoded<typename V::value_type>(*m);
        } else {
            value.*field = decoded<V>(j.at(key));
        }
    }
};

template <class T, class V>
constexpr Member<T, V> member(const char* key, V T::*field) {
    return {key, field};
}

// A member left out while it holds `fallback` and read as `fallback` when absent: a later addition to a
// coded form, so that what was coded before it still decodes and an unused addition costs nothing.
template <class T, class V>
struct DefaultedMember {
    const char* key;
    V T::*field;
    V fallback;

    template <class Json>
    void encode(Json& j, const T& value) const {
        if (!(value.*field == fallback)) j[key] = value.*field;
    }
    template <class Json>
    void decode(const Json& j, T& value) const {
        const Json* m = optionalMember(j, key);
        value.*field = m ? decoded<V>(*m) : fallback;
    }
};

template <class T, class V>
DefaultedMember<T, V> defaultedMember(const char* key, V T::*field, V fallback = V{}) {
    return {key, field, std::move(fallback)};
}

// Encodes `value` as an object with `members` in order.
template <class Json, class T, class... Members>
void encodeObject(Json& j, const T& value, const Members&... members) {
    j = Json::object();
    (members.encode(j, value), ...);
}

// Decodes all `members` into a fresh value first, so that a failure leaves `value` as it was.
template <class Json, class T, class... Members>
void decodeObject(const Json& j, T& value, const Members&... members) {
    T fresh{};
    (members.decode(j, fresh), ...);
    value = std::move(fresh);
}

// The raw values of an enumeration, each stated once; the last entry's is also the answer for a value
// that is not listed.
template <class E, std::size_t N>
struct RawValues {
    std::array<std::pair<E, std::string_view>, N> entries;

    constexpr std::string_view rawValue(E value) const {
        for (const auto& [v, raw] : entries)
            if (v == value) return raw;
        return entries.back().second;
    }
    constexpr std::optional<E> fromRawValue(std::string_view raw) const {
        for (const auto& [v, r] : entries)
            if (r == raw) return v;
        return std::nullopt;
    }
};

// Decodes a raw value with `fromRawValue`; one it does not know is a type error that says `what`.
template <class Json, class E, class FromRaw>
void decodeRawValue(const Json& j, E& value, FromRaw fromRawValue, std::string_view what) {
    const auto raw = j.template get<std::string>();
    const std::optional<E> decodedValue = fromRawValue(raw);
    if (!decodedValue) throw Json::type_error::create(302, std::string(what) + " \"" + raw + "\"", &j);
    value = *decodedValue;
}

}  // namespace tavori::JsonCoding

// Defines, for the enumeration `Type` with the `JsonCoding::RawValues` table `table`, its `rawValue`, its
// `fromRawValue` (named as given) and its printing as the raw value.
#define TAVORI_RAW_VALUE_FUNCTIONS(Type, fromRawName, table) \
    std::string_view rawValue(Type value) {                  \
        return table.rawValue(value);                        \
    }                                                        \
    std::optional<Type> fromRawName(std::string_view raw) {  \
        return table.fromRawValue(raw);                      \
    }                                                        \
    std::ostream& operator<<(std::ostream& os, Type value) { \
        return os << rawValue(value);                        \
    }                                                        \
    static_assert(true, "")

// Declares the coded form of `Type` (in the namespace of `Type`).
#define TAVORI_JSON_DECLARE(Type)                               \
    void to_json(nlohmann::json& j, const Type& value);         \
    void from_json(const nlohmann::json& j, Type& value);       \
    void to_json(nlohmann::ordered_json& j, const Type& value); \
    void from_json(const nlohmann::ordered_json& j, Type& value)

// Defines the coded form of `Type` as an object of the given `JsonCoding::member`s.
#define TAVORI_JSON_OBJECT(Type, ...)                              \
    void to_json(nlohmann::json& j, const Type& value) {           \
        ::tavori::JsonCoding::encodeObject(j, value, __VA_ARGS__); \
    }                                                              \
    void from_json(const nlohmann::json& j, Type& value) {         \
        ::tavori::JsonCoding::decodeObject(j, value, __VA_ARGS__); \
    }                                                              \
    void to_json(nlohmann::ordered_json& j, const Type& value) {   \
        ::tavori::JsonCoding::encodeObject(j, value, __VA_ARGS__); \
    }                                                              \
    void from_json(const nlohmann::ordered_json& j, Type& value) { \
        ::tavori::JsonCoding::decodeObject(j, value, __VA_ARGS__); \
    }                                                              \
    static_assert(true, "")

// Defines the coded form of `Type` by the function templates `encode(Json&, const Type&)` and
// `decode(const Json&, Type&)`, for a type whose members need more than their own coding.
#define TAVORI_JSON_CODED_BY(Type, encode, decode)                 \
    void to_json(nlohmann::json& j, const Type& value) {           \
        encode(j, value);                                          \
    }                                                              \
    void from_json(const nlohmann::json& j, Type& value) {         \
        decode(j, value);                                          \
    }                                                              \
    void to_json(nlohmann::ordered_json& j, const Type& value) {   \
        encode(j, value);                                          \
    }                                                              \
    void from_json(const nlohmann::ordered_json& j, Type& value) { \
        decode(j, value);                                          \
    }                                                              \
    static_assert(true, "")

// Defines the coded form of the enumeration `Type` as its raw value, given its `rawValue` and
// `fromRawValue` functions; an unknown raw value is a type error that says `what` ("unknown colour").
#define TAVORI_JSON_RAW_VALUE(Type, rawValueOf, fromRawValue, what)         \
    void to_json(nlohmann::json& j, const Type& value) {                    \
        j = std::string(rawValueOf(value));                                 \
    }                                                                       \
    void from_json(const nlohmann::json& j, Type& value) {                  \
        ::tavori::JsonCoding::decodeRawValue(j, value, fromRawValue, what); \
    }                                                                       \
    void to_json(nlohmann::ordered_json& j, const Type& value) {            \
        j = std::string(rawValueOf(value));                                 \
    }                                                                       \
    void from_json(const nlohmann::ordered_json& j, Type& value) {          \
        ::tavori::JsonCoding::decodeRawValue(j, value, fromRawValue, what); \
    }                                                                       \
    static_assert(true, "")
