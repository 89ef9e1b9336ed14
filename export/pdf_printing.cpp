#include "export/pdf_printing.h"

#include <QFile>

#include "app/error_trap.h"

namespace dorvane::exporting {

namespace GetSetPrinter {

namespace {
// The number a printer failure carries in the default printer's box.
constexpr int kPrinterErrorNumber = 482;
}  // namespace

QString GetDefaultPrinter(platform::Platform& platform, QWidget* owner) {
    QString result;
    try {
        result = platform.printers.defaultPrinter();
    } catch (...) {
        const QString text = QStringLiteral("Error No: ") + QString::number(kPrinterErrorNumber) +
                             QStringLiteral("\r\n") + app::currentFailureDescription() +
                             QStringLiteral("\r\n") + QStringLiteral("Has occured in ") +
                             QStringLiteral("modPrinters.GetDefaultPrinter") + QStringLiteral("\r\n") +
                             QStringLiteral("Please contact Technical Support");
        platform.messageBox.show(
            owner, {text, QString(), platform::MessageButtons::Ok, platform::MessageIcon::None});
        return QString();
    }
    return result;
}

bool SetDefaultPrinter(platform::Printers& printers, const QString& name) {
    try {
        printers.setDefaultPrinter(name);
        return true;
    } catch (...) {
        return false;
    }
}

QString pdfPrinterInstructions() {
    const QString name = QLatin1String(kPdfPrinterName);
    return QStringList{
        name + QStringLiteral(" is not installed. Please follow these instructions:"),
        QString(),
        QStringLiteral("1) Install the printing system and its PDF printer driver:"),
        QStringLiteral("    sudo apt-get install cups printer-driver-cups-pdf poppler-utils"),
        QStringLiteral("2) Add a PDF printer queue described as ") + name + QStringLiteral(":"),
        QStringLiteral(
            "    sudo lpadmin -p Kellmark_PDF_Writer -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd "
            "-o pdftops-renderer-default=pdftocairo -D \"") +
            name + QStringLiteral("\""),
        QStringLiteral("3) Check that it is listed: lpstat -l -p Kellmark_PDF_Writer"),
        QStringLiteral("4) Start this program again. Printed tables appear as PDF files in the folder PDF of "
                       "your home folder."),
    }
        .join(QStringLiteral("\r\n"));
}

void CheckPdfPrinter(platform::Platform& platform, QWidget* owner) {
    const QStringList names = platform.printers.deviceNames();
    for (const QString& name : names) {
        if (name == QLatin1String(kPdfPrinterName)) return;
    }
    platform.messageBox.show(owner, {pdfPrinterInstructions(), QString(), platform::MessageButtons::Ok,
                                     platform::MessageIcon::None});
}

}  // namespace GetSetPrinter

namespace Wordpad1 {

QString GetWordpadPath(platform::ConfigurationStore& store) {
    constexpr long kBufferSize = 260;
    std::uintptr_t key = 0;
    QString path;
    if (store.RegOpenKeyA(platform::kClassesRoot, QLatin1String(kWordpadKey), key) ==
        platform::kStoreSuccess) {
        QString buffer(kBufferSize, QChar(0));
        long size = kBufferSize;
        if (store.RegQueryValueA(key, QString(), buffer, size) == platform::kStoreSuccess) {
            const qsizetype nul = buffer.indexOf(QChar(0));
            path = nul < 0 ? buffer : buffer.left(nul);
        } else {
            path = buffer;
            const qsizetype nul = path.indexOf(QChar(0));
            if (nul >= 0) path.truncate(nul);
        }
    }
    store.RegCloseKey(key);
    return path;
}

void DeleteFileQuietly(platform::EventPump& events, const QString& path) {
    try {
        events.doEvents();
        QFile::remove(path);
    } catch (...) {
    }
}

}  // namespace Wordpad1

}  // namespace dorvane::exporting
