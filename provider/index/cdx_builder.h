// Building a whole compound index file in memory from tag definitions and their entries: each tag
// sorted and laid out (on several threads when there is much to do), the tag directory in front.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "provider/index/key_sort.h"
#include "provider/index/tag_definition.h"

namespace dorvane::provider::index {

// A tag to write with its entries held flat (see TagContent).
struct TagKeys {
    TagDefinition definition;
    FlatKeys keys;  // any order; keyLength must be the definition's
    std::optional<std::array<unsigned char, kTagHeaderSize>> previousHeader;
};

// The complete file image. Sorts each tag's entries, keeps only the first record of a key in a
// unique tag, and raises ProviderError: UniquenessViolated (candidate tag with a repeated key),
// IndexNotMaintained (collation other than MACHINE for a tag
// without previousHeader), FieldNameInvalid (tag name empty, longer than
// 10 characters or repeated), StringTooLong (key length 0 or above 240, wrong key sizes, expressions
// too long). When several tags are at fault, the error is the first such tag's.
std::string buildCdxImage(std::vector<TagKeys> tags);
// The same from entries held one by one.
std::string buildCdxImage(std::vector<TagContent> tags);

// Builds the image and writes it in place of `path` as replaceFileAtomically() does (beside it,
// flushed, renamed over it). Raises what buildCdxImage raises (the file then stays as it was) and
// FileAccessDenied when writing fails.
void writeCdxFile(const std::string& path, std::vector<TagKeys> tags);

}  // namespace dorvane::provider::index
