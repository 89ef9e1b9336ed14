#include "provider/format/file_names.h"

#include <algorithm>
#include <system_error>

#include "provider/error.h"

namespace dorvane::provider {

namespace fs = std::filesystem;

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool hasLetter(const std::string& s, bool upper) {
    return std::any_of(s.begin(), s.end(),
                       [upper](char c) { return upper ? (c >= 'A' && c <= 'Z') : (c >= 'a' && c <= 'z'); });
}

}  // namespace

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::optional<fs::path> resolveFileCaseInsensitive(const fs::path& folder, const std::string& fileName) {
    if (fileName.empty() || fileName.find('/') != std::string::npos) return std::nullopt;
    const fs::path dir = folder.empty() ? fs::path(".") : folder;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return std::nullopt;
    std::optional<fs::path> found;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (!equalsIgnoringAsciiCase(name, fileName)) continue;
        if (found) {
            std::string first = found->filename().string(), second = name;
            if (second < first) std::swap(first, second);
            throw ProviderError::make(FoxError::FileNameAmbiguous,
                                      "\"" + first + "\" and \"" + second + "\"");
        }
        found = folder / name;
    }
    return found;
}

fs::path siblingFile(const fs::path& file, const std::string& extension) {
    std::string ext = extension;
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    const std::string stem = file.stem().string();
    const fs::path folder = file.parent_path();
    if (auto existing = resolveFileCaseInsensitive(folder, stem + "." + ext)) return *existing;

    const std::string tableExt = file.extension().string();
    const bool upper = hasLetter(tableExt, true) && !hasLetter(tableExt, false);
    std::transform(ext.begin(), ext.end(), ext.begin(), upper ? upperAscii : lowerAscii);
    return folder / (stem + "." + ext);
}

}  // namespace dorvane::provider
