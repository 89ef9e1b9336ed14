// The independent index checker (cdx-check), looked for beside the source tree, and how tests run it.
// Where it is absent (a clone on its own), tests that need it are skipped and say so.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#ifndef DORVANE_CDX_CHECK
#error "DORVANE_CDX_CHECK must name where the checker is looked for"
#endif

namespace dorvane::test {

struct CdxCheckResult {
    int exitCode = -1;
    std::string output;
};

inline bool cdxCheckAvailable() { return std::filesystem::is_regular_file(DORVANE_CDX_CHECK); }

// Runs the checker on a table (a .dbc is checked against its .dcx); exit code 0 means every tag agrees.
inline CdxCheckResult runCdxCheck(const std::filesystem::path& table) {
    CdxCheckResult result;
    const std::string command =
        std::string("/usr/bin/python3 '") + DORVANE_CDX_CHECK + "' '" + table.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) result.output += buffer;
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace dorvane::test

// First line of a test that judges files with the checker: skips the test, saying why, without it.
#define DORVANE_NEEDS_CDX_CHECK()                                                                   \
    do {                                                                                           \
        if (!::dorvane::test::cdxCheckAvailable())                                                 \
            GTEST_SKIP() << "cdx-check is not at " DORVANE_CDX_CHECK ", so the index is not checked"; \
    } while (0)
