// dorvane-wordpad: the word processor the PDF export prints through. "dorvane-wordpad /p <file>" prints
// the text file to the default printer and ends (exit status 0 when the job was sent); given only a
// file, it shows the file.
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>
#include <QTextOption>
#include <cstdio>

namespace {

QString readText(const QString& path, bool& ok) {
    QFile file(path);
    ok = file.open(QIODevice::ReadOnly);
    return ok ? QString::fromUtf8(file.readAll()) : QString();
}

int printFile(const QString& path) {
    bool ok = false;
    const QString text = readText(path, ok);
    if (!ok) {
        std::fprintf(stderr, "dorvane-wordpad: cannot read %s\n", qPrintable(path));
        return 2;
    }
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull()) {
        std::fprintf(stderr, "dorvane-wordpad: there is no default printer\n");
        return 3;
    }
    QPrinter device(printer, QPrinter::HighResolution);
    device.setDocName(QStringLiteral("Dorvane Table"));
    QTextDocument document;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(8);
    document.setDefaultFont(font);
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    document.setPlainText(text);
    document.print(&device);
    if (device.printerState() == QPrinter::Error || device.printerState() == QPrinter::Aborted) {
        std::fprintf(stderr, "dorvane-wordpad: printing failed\n");
        return 4;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() == 2 && args[0].compare(QLatin1String("/p"), Qt::CaseInsensitive) == 0)
        return printFile(args[1]);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: dorvane-wordpad [/p] <text file>\n");
        return 1;
    }
    bool ok = false;
    QPlainTextEdit view;
    view.setPlainText(readText(args[0], ok));
    view.setReadOnly(true);
    view.setWindowTitle(args[0]);
    view.resize(800, 600);
    view.show();
    return application.exec();
}
