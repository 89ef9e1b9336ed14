#include "provider/ado/connection_string.h"

#include <algorithm>
#include <cctype>

#include "provider/error.h"

namespace dorvane::provider {
namespace {

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Collapses runs of blanks so that "share   exclusive" and "Share Exclusive" compare alike.
std::string normalised(const std::string& s) {
    std::string out;
    for (char c : lower(s)) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

ConnectionSettings parseConnectionString(std::string_view text) {
    ConnectionSettings settings;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eq = text.find('=', pos);
        size_t semi = text.find(';', pos);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            // A piece without "=": only blanks are allowed there.
            std::string piece = trim(text.substr(pos, semi == std::string_view::npos ? text.npos : semi - pos));
            if (!piece.empty()) throw ProviderError::make(FoxError::SyntaxError);
            if (semi == std::string_view::npos) break;
            pos = semi + 1;
            continue;
        }
        std::string key = normalised(std::string(text.substr(pos, eq - pos)));
        size_t valueStart = eq + 1;
        while (valueStart < text.size() && text[valueStart] == ' ') ++valueStart;
        std::string value;
        size_t next;
        if (valueStart < text.size() && (text[valueStart] == '"' || text[valueStart] == '\'')) {
            const char quote = text[valueStart];
            size_t close = text.find(quote, valueStart + 1);
            if (close == std::string_view::npos) throw ProviderError::make(FoxError::SyntaxError);
            value = std::string(text.substr(valueStart + 1, close - valueStart - 1));
            next = text.find(';', close);
        } else {
            next = text.find(';', valueStart);
            value = trim(text.substr(valueStart, next == std::string_view::npos ? text.npos : next - valueStart));
        }
        if (key == "provider") {
            settings.provider = value;
        } else if (key == "data source") {
            settings.dataSource = value;
        } else if (key == "collating sequence") {
            const std::string c = normalised(value);
            if (c == "machine" || c.empty()) {
                settings.collation = Collation::Machine;
            } else if (c == "general") {
                settings.collation = Collation::General;
            } else {
                throw ProviderError(FoxError::UnrecognizedPhrase, "Collating sequence \"" + value + "\" is not found.");
            }
        } else if (key == "mode") {
            const std::string m = normalised(value);
            settings.exclusive = m.find("exclusive") != std::string::npos;
        }
        if (next == std::string_view::npos) break;
        pos = next + 1;
    }
    const std::string p = lower(trim(settings.provider));
    if (!p.empty() && p != "vfpoledb.1" && p != "vfpoledb") {
        throw ProviderError(FoxError::UnrecognizedPhrase, "Provider \"" + settings.provider + "\" is not supported.");
    }
    return settings;
}

}  // namespace dorvane::provider
