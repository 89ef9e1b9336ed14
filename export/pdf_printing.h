// The modules GetSetPrinter and Wordpad1: the default printer, the start-up check for the PDF printer,
// where the word processor lives, and deleting the print file afterwards.
#pragma once

#include <QString>

#include "platform/platform.h"

class QWidget;

namespace dorvane::exporting {

inline constexpr char kPdfPrinterName[] = "Kellmark PDF Writer";

namespace GetSetPrinter {

// The default printer's device name; "" after its own error box when it cannot be read.
QString GetDefaultPrinter(platform::Platform& platform, QWidget* owner = nullptr);
// Makes `name` the default printer; false (and nothing shown) when that fails.
bool SetDefaultPrinter(platform::Printers& printers, const QString& name);
// The set-up instructions shown when the PDF printer is missing.
QString pdfPrinterInstructions();
// Shows pdfPrinterInstructions() when no installed printer has the PDF printer's device name (compared
// exactly). Raises when the printer list cannot be read.
void CheckPdfPrinter(platform::Platform& platform, QWidget* owner = nullptr);

}  // namespace GetSetPrinter

namespace Wordpad1 {

inline constexpr char kWordpadKey[] = "Wordpad.Document.1\\Protocol\\StdFileEditing\\Server";

// The word processor's program path as the configuration store holds it; "" when the key is missing.
QString GetWordpadPath(platform::ConfigurationStore& store);
// Lets pending window events run once, then deletes the file; failures are ignored.
void DeleteFileQuietly(platform::EventPump& events, const QString& path);

}  // namespace Wordpad1

}  // namespace dorvane::exporting
