#include "samples/RegistrySample.h"

#include <zip.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace tavori::RegistrySample {
namespace {

std::string twelveDigits(std::uint64_t index) {
    // A bijection of 0..10^12-1 (the multiplier is prime to 10), so neighbours get unrelated numbers.
    constexpr std::uint64_t modulus = 1'000'000'000'000ULL;
    // index × 7,919,023,757 + 12,345 modulo 10^12, in two halves so that nothing overflows.
    const std::uint64_t a = index % modulus;
    const std::uint64_t mixed =
        ((a * 7'919 % modulus) * 1'000'000 % modulus + a * 23'757 % modulus + 12'345) % modulus;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%012llu", static_cast<unsigned long long>(mixed));
    return buffer;
}

char checkDigit(const std::string& twelve) {
    int sum = 0;
    for (int position = 1; position <= 12; ++position) {
        const int digit = twelve[12 - position] - '0';
        sum += digit * (position % 2 == 1 ? 1 : 2);
    }
    return static_cast<char>('0' + 9 - sum % 9);
}

DateComponentsValue dayAfter(DateComponentsValue start, int days) {
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (days-- > 0) {
        const bool leap = start.year % 4 == 0 && (start.year % 100 != 0 || start.year % 400 == 0);
        const int length = start.month == 2 && leap ? 29 : lengths[start.month - 1];
        if (++start.day > length) {
            start.day = 1;
            if (++start.month > 12) {
                start.month = 1;
                ++start.year;
            }
        }
    }
    return start;
}

std::string date(const std::optional<DateComponentsValue>& d) {
    return d ? d->formatted("yyyy-MM-dd") : std::string();
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

}  // namespace

RegistryRecord record(std::uint64_t index) {
    RegistryRecord r;
    const std::string twelve = twelveDigits(index);
    const bool sole = index % 3 == 0;
    r.kind = sole ? RegistryRecord::Kind::soleProprietor : RegistryRecord::Kind::corporation;
    // A sole proprietor's number has no check digit; make it one that would fail it.
    const char first = checkDigit(twelve);
    r.number =
        "T" + std::string(1, sole ? static_cast<char>(first == '9' ? '1' : first + 1) : first) + twelve;
    r.process = RegistryRecord::Process::added;
    r.registrationDate = dayAfter({2023, 10, 1}, static_cast<int>(index % 366));
    r.updateDate = r.registrationDate;
    const std::string n = std::to_string(index);
    if (sole) {
        r.name = "見本　太郎" + n;
        if (index % 2 == 0) r.tradeName = "みほん商店" + n;
    } else {
        r.name = "株式会社見本商事" + n;
    }
    return r;
}

std::vector<RegistryRecord> records(std::uint64_t first, std::uint64_t count) {
    std::vector<RegistryRecord> list;
    for (std::uint64_t i = first; i < first + count; ++i) list.push_back(record(i));
    return list;
}

std::string csvRow(const RegistryRecord& r, std::uint64_t sequence) {
    const bool sole = r.kind == RegistryRecord::Kind::soleProprietor;
    const bool deleted = r.process == RegistryRecord::Process::deleted;
    char process[4];
    std::snprintf(process, sizeof process, "%02d", static_cast<int>(r.process));
    const std::string address = sole ? "" : "東京都千代田区霞が関３丁目１番１号, 見本ビル";
    std::string row;
    row.reserve(256);
    row += std::to_string(sequence) + ',' + quoted(r.number) + ',' + quoted(process) + ',' + quoted("0") +
           ',' +
           quoted(deleted ? ""
                  : sole  ? "1"
                          : "2") +
           ',' + quoted(deleted ? "" : std::to_string(r.country)) + ',' + quoted(r.latest ? "1" : "0") + ',' +
           quoted(date(r.registrationDate)) + ',' + quoted(date(r.updateDate)) + ',' +
           quoted(date(r.cancellationDate)) + ',' + quoted(date(r.expiryDate)) + ',' + quoted(address) + ',' +
           quoted(sole ? "" : "13") + ',' + quoted(sole ? "" : "101") + ',' + quoted("") + ',' + quoted("") +
           ',' + quoted("") + ',' + quoted("") + ',' + quoted(r.name) + ',' + quoted("") + ',' + quoted("") +
           ',' + quoted("") + ',' + quoted(r.tradeName) + ',' + quoted(r.popularName) + "\r\n";
    return row;
}

std::string csv(std::span<const RegistryRecord> records) {
    std::string text;
    std::uint64_t sequence = 1;
    for (const auto& r : records) text += csvRow(r, sequence++);
    return text;
}

void writeGeneratedCsv(const std::filesystem::path& path, std::uint64_t first, std::uint64_t count) {
    std::ofstream out(path, std::ios::binary);
    std::string block;
    for (std::uint64_t i = 0; i < count; ++i) {
        block += csvRow(record(first + i), i + 1);
        if (block.size() > (1 << 20)) {
            out << block;
            block.clear();
        }
    }
    out << block;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeZip(const std::filesystem::path& path,
              const std::vector<std::pair<std::string, std::string>>& members) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) throw std::runtime_error("cannot create " + path.string());
    for (const auto& [name, bytes] : members) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (source == nullptr || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            throw std::runtime_error("cannot add " + name + " to " + path.string());
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot write " + path.string());
    }
}

}  // namespace tavori::RegistrySample
