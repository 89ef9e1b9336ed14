// The one error type the provider raises, and FoxPro's error numbers with their message texts.
// Every failure of the engine, the SQL layer and the ADO-like objects reaches callers as ProviderError.
#pragma once

#include <cstdint>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dorvane::provider {

// HRESULT the FoxPro provider reports for engine failures.
inline constexpr std::uint32_t kEFail = 0x80004005u;

// HRESULTs of ADO's own errors, which carry no FoxPro number: adErrObjectClosed ("Operation is not
// allowed when the object is closed."), adErrObjectOpen (... "is open.") and adErrFeatureNotAvailable.
inline constexpr std::uint32_t kAdErrObjectClosed = 0x800A0E78u;
inline constexpr std::uint32_t kAdErrObjectOpen = 0x800A0E79u;
inline constexpr std::uint32_t kAdErrFeatureNotAvailable = 0x800A0CB3u;
inline constexpr std::uint32_t kAdErrNoCurrentRecord = 0x800A0BCDu;
inline constexpr std::uint32_t kAdErrItemNotFound = 0x800A0CC1u;

// FoxPro error numbers the engine raises. The texts live in foxproMessage().
enum class FoxError : int {
    None = 0,                  // no FoxPro number: an error of the ADO-like objects themselves
    FileDoesNotExist = 1,      // File "name" does not exist.
    FileInUse = 3,             // File is in use.
    RecordOutOfRange = 5,      // Record is out of range.
    FileAlreadyExists = 7,     // File "name" already exists.
    DataTypeMismatch = 9,      // Data type mismatch.
    SyntaxError = 10,          // Syntax error.
    VariableNotFound = 12,     // Variable "name" is not found.
    NotATable = 15,            // Not a table.
    UnrecognizedPhrase = 36,   // Command contains unrecognized phrase/keyword.
    NumericOverflow = 39,      // Numeric overflow. Data was lost.
    MemoFileInvalid = 41,      // Memo file "name" is missing or is invalid.
    OutOfMemory = 43,          // There is not enough memory to complete this operation.
    FileInUseByAnother = 108,  // File is in use by another user.
    MustBeExclusive = 110,     // File must be opened exclusively.
    IndexMismatch = 114,       // Index does not match the table. ...
    TooManyFields = 1118,      // Too many fields.
    TableNotInDatabase =
        1160,  // Table "name" is not in the database. (reported for unknown tables of a container)
    CannotAddTable = 1537,         // Cannot add this table: it belongs to database "name".
    TriggerFailed = 1539,          // Trigger failed in name.
    DbcInconsistent = 1550,        // .DBC internal consistency error.
    FieldNotNull = 1581,           // Field "name" does not accept null values.
    FieldRuleViolated = 1582,      // Field "name" validation rule is violated.
    RecordRuleViolated = 1583,     // Record validation rule is violated.
    FileAccessDenied = 1705,       // File access is denied.
    StructuralCdxNotFound = 1707,  // Structural .CDX file is not found.
    FieldNameInvalid = 1712,       // Field name is a duplicate or invalid.
    FieldWidthInvalid = 1713,      // Field width or number of decimal places is invalid.
    TagNotFound = 1683,            // Index tag is not found.
    UniquenessViolated = 1884,     // Uniqueness of index "name" is violated.
    StringTooLong = 1903,          // String is too long to fit.
    CodePageInvalid = 1914,        // Code page number is invalid.
    TableCorrupted = 2091,         // Table "name" has become corrupted. ...
    // Engine-specific conditions that FoxPro itself never meets; reported with FoxPro's generic number.
    IndexNotMaintained = 1999,  // The structural index "file" cannot be kept up to date ...
    CodePageCannotHold = 2000,  // Text cannot be stored in the table's code page ...
    RecordTooLong = 2001,       // Record is too long.
    FileTooLarge = 2002,        // File is too large.
    FileNameAmbiguous = 2005,   // Files "a" and "b" differ only in case ... (name holds both)
};

// FoxPro's message text for an error number; `name` fills the quoted name where the text has one.
std::string foxproMessage(FoxError number, std::string_view name = {});

// A provider failure as ADO reports it: HRESULT, FoxPro's error number (NativeError) and the
// message text (Description). what() is the message text.
class ProviderError : public std::runtime_error {
public:
    ProviderError(FoxError number, std::string message, std::uint32_t hresult = kEFail);
    // The standard text for `number`, with `name` filled in.
    static ProviderError make(FoxError number, std::string_view name = {});
    // An error of the ADO-like objects themselves: ADO's HRESULT and text, no FoxPro number.
    static ProviderError ado(std::uint32_t hresult);

    std::uint32_t hresult() const noexcept { return m_hresult; }
    int number() const noexcept { return static_cast<int>(m_number); }
    FoxError code() const noexcept { return m_number; }
    const std::string& message() const noexcept { return m_message; }

private:
    std::uint32_t m_hresult;
    FoxError m_number;
    std::string m_message;
};

// Runs `work` and lets only ProviderError out: what the standard library raises on the way (no
// memory, a file system call failing) becomes the provider's error. For the ADO-like objects' entry
// points, so that callers meet one error type.
template <class Work>
decltype(auto) withProviderErrors(Work&& work) {
    try {
        return work();
    } catch (const ProviderError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ProviderError::make(FoxError::OutOfMemory);
    } catch (const std::filesystem::filesystem_error& e) {
        throw ProviderError(FoxError::FileAccessDenied,
                            foxproMessage(FoxError::FileAccessDenied) + " (" + e.what() + ")");
    } catch (const std::exception& e) {
        throw ProviderError(FoxError::None, e.what());
    }
}

}  // namespace dorvane::provider
