// dorvane-make-samples FOLDER: writes the sample tables shipped in Samples/ into FOLDER.
#include <cstdio>
#include <exception>

#include "tools/sample_tables.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        dorvane::tools::writeSampleTables(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
