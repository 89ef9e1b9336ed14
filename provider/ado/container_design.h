// Declaring what a container keeps between its tables, written as FoxPro writes it: a tag in a member
// table's structural index (with its Index record), and a Relation record with its referential-
// integrity letters. For building containers; neither the container nor the table may be in use.
#pragma once

#include <filesystem>
#include <string>

#include "provider/index/tag_definition.h"

namespace dorvane::provider {

// Adds the tag to the member table's structural index (creating the index when the table has none),
// fills it from the records, and adds its Index record (property 17: candidate). `primary` also names
// it the table's primary key (property 20 of the Table record). Raises ProviderError: TableNotInDatabase,
// FileInUseByAnother, and what building the tag raises (a candidate key repeated, a bad expression).
void addIndexTag(const std::filesystem::path& dbc, const std::string& table, const index::TagDefinition& tag,
                 bool primary = false);

struct RelationDefinition {
    std::string childTable, childTag;    // the tag holding the foreign key
    std::string parentTable, parentTag;  // the parent's primary or candidate tag
    std::string rules = "III";           // RIINFO: update, delete, insert; each C, R or I
};

// Adds a Relation record (object of the child table, named "Relation <n>"). Raises TableNotInDatabase
// for an unknown table, TagNotFound for a tag the table's index lacks, SyntaxError for other letters.
void addRelation(const std::filesystem::path& dbc, const RelationDefinition& relation);

}  // namespace dorvane::provider
