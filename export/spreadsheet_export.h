// The spreadsheet export's presence check: whether a spreadsheet application can be made.
#pragma once

#include "platform/platform.h"

class QWidget;

namespace dorvane::exporting {

inline constexpr char kSpreadsheetProgId[] = "Excel.Application";

// True when a spreadsheet application object can be made (it is quit again at once). Otherwise shows
// "Excel is not installed on this computer..." and answers false. Never raises.
bool IsExcelInstalled(platform::Platform& platform, QWidget* owner = nullptr);

// The message for rows that did not fit in the sheet.
QString rowsLeftOutMessage(std::int64_t leftOut, int sheetRows);

}  // namespace dorvane::exporting
