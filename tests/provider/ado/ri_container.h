// The container the referential-integrity scripts start from: a copy of the fixture container with
// customer(id) <- orders(custid) under `orderRules` (update, delete, insert: each C, R or I) and
// orders(oid) <- lines(oid) cascading deletes and updates and restricting inserts.
#pragma once

#include <filesystem>
#include <string>

namespace dorvane::provider::test {
void makeRiContainer(const std::filesystem::path& to, const std::string& orderRules);
}
