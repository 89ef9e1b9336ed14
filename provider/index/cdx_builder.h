// Building a whole compound index file in memory from tag definitions and their entries: leaves
// filled bottom-up, interior levels above them, the tag directory in front.
#pragma once

#include <string>
#include <vector>

#include "provider/index/tag_definition.h"

namespace dorvane::provider::index {

// The complete file image. Sorts each tag's entries, keeps only the first record of a key in a
// unique tag, and raises ProviderError: UniquenessViolated (candidate tag with a repeated key),
// IndexNotMaintained (collation other than MACHINE for a tag
// without previousHeader), FieldNameInvalid (tag name empty, longer than
// 10 characters or repeated), StringTooLong (key length 0 or above 240, wrong key sizes, expressions
// too long).
std::string buildCdxImage(std::vector<TagContent> tags);

}  // namespace dorvane::provider::index
