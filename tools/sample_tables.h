// The sample free tables shipped in Samples/ (customers, orders, products): deterministic content
// from a fixed seed, written through the table engine with a fixed header date.
#pragma once

#include <filesystem>

namespace dorvane::tools {

// Writes customers.dbf, products.dbf and orders.dbf (with their .fpt) into `folder`, replacing them.
// The same call always writes the same bytes. Raises provider::ProviderError on failure.
void writeSampleTables(const std::filesystem::path& folder);

}  // namespace dorvane::tools
