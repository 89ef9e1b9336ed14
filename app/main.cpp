// Dorvane Table Suite: wires the windows to the real desktop and starts at the connection window.
#include <QApplication>

#include "app/connection_window.h"
#include "app/editing_session.h"
#include "catalogue/table_list_window.h"
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

    form1.startUp();
    return application.exec();
}
