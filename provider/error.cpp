#include "provider/error.h"

namespace dorvane::provider {

std::string foxproMessage(FoxError number, std::string_view name) {
    const std::string n(name);
    const std::string quoted = n.empty() ? std::string() : "\"" + n + "\" ";
    switch (number) {
        case FoxError::FileDoesNotExist:
            return "File " + quoted + "does not exist.";
        case FoxError::FileInUse:
            return "File is in use.";
        case FoxError::RecordOutOfRange:
            return "Record is out of range.";
        case FoxError::FileAlreadyExists:
            return "File " + quoted + "already exists.";
        case FoxError::DataTypeMismatch:
            return "Data type mismatch.";
        case FoxError::SyntaxError:
            return "Syntax error.";
        case FoxError::VariableNotFound:
            return "Variable " + quoted + "is not found.";
        case FoxError::NotATable:
            return n.empty() ? "Not a table." : "\"" + n + "\" is not a table.";
        case FoxError::UnrecognizedPhrase:
            return "Command contains unrecognized phrase/keyword.";
        case FoxError::NumericOverflow:
            return "Numeric overflow. Data was lost.";
        case FoxError::None:
            return n;
        case FoxError::OutOfMemory:
            return "There is not enough memory to complete this operation.";
        case FoxError::MemoFileInvalid:
            return "Memo file " + quoted + "is missing or is invalid.";
        case FoxError::FileInUseByAnother:
            return "File is in use by another user.";
        case FoxError::MustBeExclusive:
            return "File must be opened exclusively.";
        case FoxError::IndexMismatch:
            return "Index does not match the table. Delete the index file and re-create the index.";
        case FoxError::TooManyFields:
            return "Too many fields.";
        case FoxError::TableNotInDatabase:
            return "Table " + quoted + "is not in the database.";
        case FoxError::CannotAddTable:
            return "Cannot add this table: it belongs to database \"" + n + "\".";
        case FoxError::TriggerFailed:
            return n.empty() ? "Trigger failed." : "Trigger failed in " + n + ".";
        case FoxError::DbcInconsistent:
            return ".DBC internal consistency error.";
        case FoxError::FieldNotNull:
            return "Field " + quoted + "does not accept null values.";
        case FoxError::FieldRuleViolated:
            return "Field " + quoted + "validation rule is violated.";
        case FoxError::RecordRuleViolated:
            return "Record validation rule is violated.";
        case FoxError::FileAccessDenied:
            return "File access is denied.";
        case FoxError::StructuralCdxNotFound:
            return "Structural .CDX file is not found.";
        case FoxError::FieldNameInvalid:
            return "Field name is a duplicate or invalid.";
        case FoxError::FieldWidthInvalid:
            return "Field width or number of decimal places is invalid.";
        case FoxError::TagNotFound:
            return "Index tag is not found.";
        case FoxError::UniquenessViolated:
            return "Uniqueness of index " + quoted + "is violated.";
        case FoxError::CodePageInvalid:
            return "Code page number is invalid.";
        case FoxError::StringTooLong:
            return "String is too long to fit.";
        case FoxError::TableCorrupted:
            return "Table " + quoted +
                   "has become corrupted. The table will need to be repaired before using again.";
        case FoxError::IndexNotMaintained:
            return "The index " + quoted +
                   "cannot be kept up to date by this program; the table is read-only.";
        case FoxError::CodePageCannotHold:
            return "Text cannot be stored in the table's code page" +
                   (n.empty() ? std::string(".") : ": " + n);
        case FoxError::RecordTooLong:
            return "Record is too long.";
        case FoxError::FileTooLarge:
            return "File " + quoted + "is too large.";
        case FoxError::FileNameAmbiguous:
            return "Files " + n + " differ only in case; rename or remove one of them.";
    }
    return "Unknown error.";
}

ProviderError::ProviderError(FoxError number, std::string message, std::uint32_t hresult)
    : std::runtime_error(message), m_hresult(hresult), m_number(number), m_message(std::move(message)) {}

ProviderError ProviderError::make(FoxError number, std::string_view name) {
    return ProviderError(number, foxproMessage(number, name));
}

ProviderError ProviderError::ado(std::uint32_t hresult) {
    switch (hresult) {
        case kAdErrObjectClosed:
            return ProviderError(FoxError::None, "Operation is not allowed when the object is closed.",
                                 hresult);
        case kAdErrObjectOpen:
            return ProviderError(FoxError::None, "Operation is not allowed when the object is open.",
                                 hresult);
        case kAdErrNoCurrentRecord:
            return ProviderError(
                FoxError::None,
                "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                "requires a current record.",
                hresult);
        case kAdErrItemNotFound:
            return ProviderError(
                FoxError::None,
                "Item cannot be found in the collection corresponding to the requested name or ordinal.",
                hresult);
        default:
            return ProviderError(FoxError::None,
                                 "Object or provider is not capable of performing requested operation.",
                                 hresult);
    }
}

}  // namespace dorvane::provider
