// The spreadsheet application on Linux: a workbook written with libxlsxwriter (constant memory, one
// row at a time) into a temporary .xlsx, opened with the desktop's spreadsheet program when shown.
#pragma once

#include <functional>

#include "platform/spreadsheet.h"

namespace dorvane::platform {

// The .desktop entry of a program registered for .xlsx files (mimeapps.list defaults first, then every
// applications folder of the XDG data dirs); "" when there is none.
QString registeredSpreadsheetProgram();
// Opens a file with the desktop's program for it (xdg-open, or the registered entry's command).
bool openWithDesktop(const QString& path);

// True when the whole text is a number as the grid shows one (-12, 3.25, 1e+20), with no leading zero
// that a number would lose (007) and at most 15 significant digits.
bool isWellFormedNumber(const QString& text);

class XlsxAutomation final : public SpreadsheetAutomation {
public:
    // `folder`: where workbooks are written; `registered`: whether a spreadsheet program exists;
    // `open`: shows a finished workbook.
    XlsxAutomation(QString folder, std::function<bool()> registered,
                   std::function<bool(const QString&)> open);
    // The desktop's: the temporary folder, registeredSpreadsheetProgram(), openWithDesktop().
    XlsxAutomation();
    std::unique_ptr<SpreadsheetApplication> CreateObject(const QString& progId) override;

private:
    QString m_folder;
    std::function<bool()> m_registered;
    std::function<bool(const QString&)> m_open;
};

}  // namespace dorvane::platform
