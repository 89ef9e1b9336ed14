#include "export/export_commands.h"

#include <QFile>
#include <memory>
#include <stdexcept>

#include "app/error_trap.h"
#include "app/window_behaviour.h"
#include "export/grid_writers.h"
#include "export/pdf_printing.h"
#include "export/spreadsheet_export.h"

namespace dorvane::exporting {
namespace {

QString label(const char* procedure) {
    return app::locationLabel(QStringLiteral("Form3"), QLatin1String(procedure));
}

[[noreturn]] void objectNotSet() {
    throw std::runtime_error("Object variable or With block variable not set");
}

}  // namespace

ExportCommands::ExportCommands(platform::Platform& platform, QWidget* window, ExportGrid& grid)
    : m_platform(platform), m_window(window), m_grid(grid) {}

void ExportCommands::PushButton6_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton6_Click"), m_window);
    QString chosen;
    trap.line(102, [&] {
        chosen = m_platform.popupMenu.popup(m_window, QStringLiteral("mnuSaveAs"), QStringLiteral("Save As"),
                                            {{QStringLiteral("mnuTXT"), QStringLiteral("TXT")},
                                             {QStringLiteral("mnuXLS"), QStringLiteral("XLS")},
                                             {QStringLiteral("mnuCSV"), QStringLiteral("CSV")},
                                             {QStringLiteral("mnuPDF"), QStringLiteral("PDF")},
                                             {QStringLiteral("mnuXML"), QStringLiteral("XML")}});
    });
    // The chosen item's own command runs once the menu has closed.
    if (chosen == QLatin1String("mnuTXT")) mnuTXT_Click();
    if (chosen == QLatin1String("mnuXLS")) mnuXLS_Click();
    if (chosen == QLatin1String("mnuCSV")) mnuCSV_Click();
    if (chosen == QLatin1String("mnuPDF")) mnuPDF_Click();
    if (chosen == QLatin1String("mnuXML")) mnuXML_Click();
}

void ExportCommands::fileExport(const char* procedure, const QString& filter, Writer writer) {
    app::ErrorTrap trap(m_platform.messageBox, label(procedure), m_window);
    trap.line(102, [&] { m_commonDialog.title = QStringLiteral("Save"); });
    trap.line(104, [&] { m_commonDialog.filter = filter; });
    trap.line(106, [&] { m_platform.fileDialog.showSave(m_window, m_commonDialog); });
    if (trap.test(108, [&] { return m_commonDialog.fileName.isEmpty(); })) return;
    trap.line(110, [&] { m_platform.pointer.set(m_window, platform::Pointer::Hourglass); });
    trap.line(112, [&] { writer(m_platform.messageBox, m_grid, m_commonDialog.fileName, m_window); });
    trap.line(114, [&] { m_platform.pointer.set(m_window, platform::Pointer::Default); });
}

void ExportCommands::mnuTXT_Click() {
    fileExport("mnuTXT_Click", QStringLiteral("Text Files (*.txt)|*.txt"), DataGrid1::SaveDataGridToFile);
}

void ExportCommands::mnuCSV_Click() {
    fileExport("mnuCSV_Click", QStringLiteral("CSV Files (*.csv)|*.csv"), DataGrid1::SaveDataGridToCSVFile);
}

void ExportCommands::mnuXML_Click() {
    fileExport("mnuXML_Click", QStringLiteral("XML Files (*.xml)|*.xml"), DataGrid1::SaveDataGridToXMLFile);
}

void ExportCommands::mnuXLS_Click() {
    app::ErrorTrap trap(m_platform.messageBox, QStringLiteral("in DorvaneSuite.Form3.mnuXLS_Click "),
                        m_window);
    std::unique_ptr<platform::SpreadsheetApplication> application;
    platform::SpreadsheetWorkbook* workbook = nullptr;
    auto book = [&]() -> platform::SpreadsheetWorkbook& {
        if (!workbook) objectNotSet();
        return *workbook;
    };
    int last = -1;
    std::int64_t r = 2, leftOut = 0;
    int sheetRows = 0;
    if (trap.test(106, [&] { return m_grid.approxCount() <= 0; })) return;
    if (trap.test(108, [&] { return !IsExcelInstalled(m_platform, m_window); })) return;
    trap.line(110, [&] { m_platform.pointer.set(m_window, platform::Pointer::Hourglass); });
    trap.line(112,
              [&] { application = m_platform.spreadsheet.CreateObject(QLatin1String(kSpreadsheetProgId)); });
    trap.line(114, [&] {
        if (!application) objectNotSet();
        workbook = &application->WorkbooksAdd();
        sheetRows = workbook->sheetRows();
    });
    trap.line(116, [&] { last = m_grid.columnCount() - 2; });
    for (int c = 1; c <= last + 1; ++c) {
        trap.line(120, [&] { book().setCells(1, c, m_grid.columnCaption(c - 1)); });
    }
    trap.line(126, [&] {
        DataGrid1::GridRowWalk(m_grid, [&] {
            if (sheetRows > 0 && r > sheetRows) {
                // The sheet is full: the rest of the table is counted, not walked.
                leftOut = m_grid.approxCount() - (r - 2);
                return false;
            }
            for (int c = 1; c <= last + 1; ++c) {
                try {
                    book().setCellsValue(int(r), c, m_grid.columnText(c - 1));
                } catch (...) {
                    trap.line(132, [] { throw; });
                }
            }
            ++r;
            return true;
        });
    });
    trap.line(140, [&] { book().ColumnsAutofit(); });
    trap.line(142, [&] {
        if (!application) objectNotSet();
        application->setVisible(true);
    });
    if (leftOut > 0) {
        trap.line(144, [&] {
            m_platform.messageBox.show(
                m_window, {rowsLeftOutMessage(leftOut, sheetRows), QString(), platform::MessageButtons::Ok,
                           platform::MessageIcon::Exclamation});
        });
    }
    trap.line(146, [&] { m_platform.pointer.set(m_window, platform::Pointer::Default); });
}

void ExportCommands::mnuPDF_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("mnuPDF_Click"), m_window);
    QString temporary, previous;
    bool ok = false;
    std::int64_t program = 0;
    // The folder named by TEMP, or the system's temporary folder when the variable is not set.
    auto tempFolder = [&] {
        const QString folder = m_platform.environment.variable(QStringLiteral("TEMP"));
        return folder.isEmpty() ? m_platform.environment.tempFolder() : folder;
    };
    trap.line(102, [&] {
        temporary = tempFolder() + QStringLiteral("/tmp.txt");
        // A print file left by an earlier run must not be printed when this one cannot be written.
        QFile::remove(temporary);
    });
    trap.line(104,
              [&] { DataGrid1::SaveDataGridToFile(m_platform.messageBox, m_grid, temporary, m_window); });
    if (trap.test(106, [&] {
            return !app::FileExists(m_platform.environment, tempFolder() + QStringLiteral("/tmp.txt"));
        })) {
        return;
    }
    trap.line(108, [&] { previous = GetSetPrinter::GetDefaultPrinter(m_platform, m_window); });
    trap.line(110, [&] {
        ok = GetSetPrinter::SetDefaultPrinter(m_platform.printers, QLatin1String(kPdfPrinterName));
    });
    if (trap.test(112, [&] { return ok; })) {
        trap.line(114, [&] {
            const QString command = Wordpad1::GetWordpadPath(m_platform.configurationStore) +
                                    QStringLiteral(" /p ") + QLatin1Char('"') + temporary + QLatin1Char('"');
            program = m_platform.programs.Shell(command, platform::WindowStyle::MinimizedFocus);
        });
        // The print program must have read the file and sent its job before the file goes and the
        // previous printer is the default again.
        trap.line(116, [&] {
            if (program != 0 && !m_platform.programs.waitForEnd(program, kPrintProgramWaitMs)) {
                throw std::runtime_error("The print program did not finish in time.");
            }
        });
    }
    trap.line(120, [&] { Wordpad1::DeleteFileQuietly(m_platform.events, temporary); });
    trap.line(122, [&] { GetSetPrinter::SetDefaultPrinter(m_platform.printers, previous); });
}

bool IsExcelInstalled(platform::Platform& platform, QWidget* owner) {
    try {
        std::unique_ptr<platform::SpreadsheetApplication> application;
        try {
            application = platform.spreadsheet.CreateObject(QLatin1String(kSpreadsheetProgId));
        } catch (...) {
        }
        if (!application) {
            platform.messageBox.show(
                owner, {QStringLiteral("Excel is not installed on this computer. You need to have "
                                       "it installed to use this feature."),
                        QString(), platform::MessageButtons::Ok, platform::MessageIcon::None});
            return false;
        }
        application->Quit();
        return true;
    } catch (...) {
        return false;
    }
}

QString rowsLeftOutMessage(std::int64_t leftOut, int sheetRows) {
    return QStringLiteral("A sheet holds %1 rows: the last %2 rows of the table were left out.")
        .arg(sheetRows)
        .arg(leftOut);
}

}  // namespace dorvane::exporting
