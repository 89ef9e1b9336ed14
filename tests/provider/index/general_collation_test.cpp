// The GENERAL weights of code page 1252 as the engine holds them, against the published table they
// were written from.
#include "provider/general_collation.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace dorvane::provider {
namespace {

std::vector<int> hexBytes(const std::string& field) {
    std::vector<int> out;
    if (field == "-") return out;
    std::istringstream in(field);
    for (std::string b; in >> b;) out.push_back(std::stoi(b, nullptr, 16));
    return out;
}

TEST(GeneralCollation, WeightsEqualThePublishedTable) {
    std::ifstream file(std::string(DORVANE_FIXTURES) + "/general/cp1252-general-weights.tsv");
    ASSERT_TRUE(file) << "weights table missing";
    int rows = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#' || line.starts_with("byte")) continue;
        std::vector<std::string> cells;
        std::istringstream in(line);
        for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
        ASSERT_EQ(cells.size(), 4u) << line;
        const int byte = std::stoi(cells[0], nullptr, 16);
        const GeneralWeight& w = kGeneralWeights1252.at(static_cast<std::size_t>(byte));
        EXPECT_EQ(hexBytes(cells[2]), std::vector<int>(w.heads, w.heads + w.headCount))
            << "byte " << cells[0];
        EXPECT_EQ(hexBytes(cells[3]), std::vector<int>(w.tails, w.tails + w.tailCount))
            << "byte " << cells[0];
        ++rows;
    }
    EXPECT_EQ(rows, 256);
}

}  // namespace
}  // namespace dorvane::provider
