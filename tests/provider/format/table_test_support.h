// Helpers shared by the table engine tests: temporary folders, fixture copies, canonical value text
// (the same text tests/provider/format/dump_table.py prints) and running that independent reader.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "provider/value.h"
#include "tests/support/files.h"
#include "tests/support/raises.h"

namespace dorvane::provider::test {

using ::dorvane::test::raises;

using ::dorvane::test::fixturePath;
using ::dorvane::test::readBytes;
using ::dorvane::test::runCommand;
using ::dorvane::test::TempDir;
using ::dorvane::test::writeBytes;

inline std::string canonical(const Value& value) {
    char buffer[64];
    if (isNull(value)) return "NULL";
    if (auto s = std::get_if<std::string>(&value)) return *s;
    if (auto b = std::get_if<bool>(&value)) return *b ? "true" : "false";
    if (auto d = std::get_if<double>(&value)) {
        std::snprintf(buffer, sizeof buffer, "%.4f", *d);
        return buffer;
    }
    if (auto i = std::get_if<std::int64_t>(&value)) {
        std::snprintf(buffer, sizeof buffer, "%lld.0000", static_cast<long long>(*i));
        return buffer;
    }
    if (auto c = std::get_if<Currency>(&value)) {
        std::snprintf(buffer, sizeof buffer, "%.4f", static_cast<double>(c->scaled) / 10000.0);
        return buffer;
    }
    if (auto d = std::get_if<Date>(&value)) {
        if (d->empty()) return "NULL";
        int y, m, day;
        civilFromJulianDay(d->julianDay, y, m, day);
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, day);
        return buffer;
    }
    if (auto t = std::get_if<DateTime>(&value)) {
        if (t->empty()) return "NULL";
        int y, m, day;
        civilFromJulianDay(t->julianDay, y, m, day);
        const int s = t->milliseconds / 1000;
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day, s / 3600,
                      s / 60 % 60, s % 60);
        return buffer;
    }
    const auto& blob = std::get<Blob>(value);
    std::string hex = "0x";
    for (unsigned char c : blob.bytes) {
        std::snprintf(buffer, sizeof buffer, "%02x", c);
        hex += buffer;
    }
    return hex;
}

// Every record as dbfread sees it: lines of deletion flag and canonical cells separated by 0x1F.
inline std::vector<std::string> dumpWithDbfread(const std::filesystem::path& table, int codePage) {
    const std::string script = std::string(DORVANE_SOURCE_DIR) + "/tests/provider/format/dump_table.py";
    const std::string output = runCommand("/usr/bin/python3 '" + script + "' '" + table.string() + "' cp" +
                                          std::to_string(codePage) + " 2>&1");
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::string escapeLine(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

}  // namespace dorvane::provider::test

#include "provider/format/field.h"

namespace dorvane::provider::test {

inline FieldSpec fieldSpec(std::string name, char type, int width = 0, int decimals = 0,
                           bool nullable = false) {
    FieldSpec s;
    s.name = std::move(name);
    s.type = type;
    s.width = width;
    s.decimals = decimals;
    s.nullable = nullable;
    return s;
}

inline Date date(int y, int m, int d) {
    return Date{julianDayFromCivil(y, m, d)};
}

}  // namespace dorvane::provider::test
