// The editor window's export commands: "Export Table As.." pops up the "Save As" menu, whose items
// write the grid to a text, CSV or XML file, a new workbook, or a PDF by printing.
#pragma once

#include <QString>

#include "export/export_grid.h"
#include "platform/platform.h"

class QWidget;

namespace dorvane::exporting {

class ExportCommands {
public:
    // `window` is the editor window (it owns the boxes and the pointer), `grid` its grid.
    ExportCommands(platform::Platform& platform, QWidget* window, ExportGrid& grid);

    void PushButton6_Click();
    void mnuTXT_Click();
    void mnuXLS_Click();
    void mnuCSV_Click();
    void mnuPDF_Click();
    void mnuXML_Click();

private:
    platform::Platform& m_platform;
    QWidget* m_window;
    ExportGrid& m_grid;
};

}  // namespace dorvane::exporting
