// Finding a table's files whatever the case of their names, as FoxPro's case-blind file system
// lets users expect; also the name a missing companion file (.fpt, .cdx) should get.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace dorvane::provider {

// The one existing entry of `folder` whose name equals `fileName` ignoring ASCII case.
// `fileName` is a bare name; one holding a '/' never matches. Returns nullopt when no entry matches
// or the folder cannot be read. Raises ProviderError(FileNameAmbiguous), naming both, when two
// entries differ only in case, since either could be the file meant.
std::optional<std::filesystem::path> resolveFileCaseInsensitive(const std::filesystem::path& folder,
                                                                const std::string& fileName);

// The file beside `file` with the same stem and `extension` ("fpt" or ".fpt"), matched ignoring
// case (CUSTOMER.DBF finds customer.fpt). When none exists, the name it should get: the stem as in
// `file` and the extension in the case style of `file`'s extension (CUSTOMER.DBF -> CUSTOMER.FPT,
// x.dbf -> x.fpt, a mixed-case extension -> lower case). Raises as resolveFileCaseInsensitive.
std::filesystem::path siblingFile(const std::filesystem::path& file, const std::string& extension);

// Whether two names are equal ignoring ASCII case.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace dorvane::provider
