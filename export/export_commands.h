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

    // The window's one save dialog (CommonDialog1): its file name stays between uses.
    const platform::FileDialogRequest& commonDialog() const { return m_commonDialog; }

private:
    using Writer = void (*)(platform::MessageBox&, ExportGrid&, const QString&, QWidget*);
    void fileExport(const char* procedure, const QString& filter, Writer writer);

    platform::Platform& m_platform;
    QWidget* m_window;
    ExportGrid& m_grid;
    platform::FileDialogRequest m_commonDialog;
};

// How long the PDF export waits for the print program before it deletes the print file.
inline constexpr int kPrintProgramWaitMs = 120000;

}  // namespace dorvane::exporting
