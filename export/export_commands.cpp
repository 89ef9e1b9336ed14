#include "export/export_commands.h"

namespace dorvane::exporting {

ExportCommands::ExportCommands(platform::Platform& platform, QWidget* window, ExportGrid& grid)
    : m_platform(platform), m_window(window), m_grid(grid) {}

void ExportCommands::PushButton6_Click() {}
void ExportCommands::mnuTXT_Click() {}
void ExportCommands::mnuXLS_Click() {}
void ExportCommands::mnuCSV_Click() {}
void ExportCommands::mnuPDF_Click() {}
void ExportCommands::mnuXML_Click() {}

}  // namespace dorvane::exporting
