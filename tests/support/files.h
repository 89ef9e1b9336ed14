// Files for tests: scratch folders (removed afterwards), writable copies of the fixtures, whole-file
// reads and writes, and a command's output.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace dorvane::test {

inline std::filesystem::path fixturePath(const std::string& name) {
    return std::filesystem::path(DORVANE_FIXTURES) / name;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "dorvane-test-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    // Copies fixture files here (writable), returning the path of the first.
    std::filesystem::path copyFixture(const std::vector<std::string>& names) const {
        for (const std::string& name : names) {
            const auto target = m_path / std::filesystem::path(name).filename();
            std::filesystem::copy_file(fixturePath(name), target,
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::permissions(
                target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        }
        return m_path / std::filesystem::path(names.front()).filename();
    }

private:
    std::filesystem::path m_path;
};

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Output of a command (stdout), or the empty string when it cannot run.
inline std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    ::pclose(pipe);
    return output;
}

}  // namespace dorvane::test
