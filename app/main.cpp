// Dorvane Table Suite: wires the windows to the real desktop and starts at the connection window.
#include <QApplication>

#include "app/connection_window.h"
#include "app/editing_session.h"
#include "catalogue/table_list_window.h"
#include "editor/editor_window.h"
#include "editor/identifier_column.h"
#include "export/pdf_printing.h"
#include "platform/qt/qt_platform.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvane Table Suite"));
    QApplication::setQuitOnLastWindowClosed(false);

    dorvane::platform::QtPlatform desktop;
    dorvane::platform::Platform platform = desktop.platform();

    dorvane::app::Form1 form1(platform);
    dorvane::app::EditingSession session;
    dorvane::catalogue::Form2 form2(platform, form1, session);
    form1.setTableListStep(&form2);
    form1.setStartUpCheck([&] { dorvane::exporting::GetSetPrinter::CheckPdfPrinter(platform, &form1); });
    auto endProgram = [] { QApplication::closeAllWindows(); QApplication::quit(); };
    QObject::connect(&form1, &dorvane::app::Form1::closed, endProgram);
    QObject::connect(&form2, &dorvane::catalogue::Form2::closed, endProgram);

    dorvane::editor::Form3 form3(platform, session);
    form2.setEditorStep(&form3);
    form3.setTableListStep(&form2);
    form3.setDataSourceHolder(&form1);
    form3.setProgramEnd(endProgram);

    form1.startUp();
    const int exitCode = application.exec();
    // However the run ended, no table prepared for editing keeps its row identifier.
    form3.setGridDataSource(nullptr);
    dorvane::editor::removeIdentifierColumns(session);
    return exitCode;
}
