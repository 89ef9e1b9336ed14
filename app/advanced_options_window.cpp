#include "app/advanced_options_window.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/connection_window.h"
#include "app/error_trap.h"
#include "app/window_behaviour.h"

namespace dorvane::app {

// Open-dialog flags: read-only box ticked, explorer style, long file names.
constexpr unsigned kDbcDialogFlags = 0x280001;

Form4::Form4(platform::Platform& platform, Form1& connectionWindow, QWidget* parent)
    : QDialog(parent), m_platform(platform), m_form1(connectionWindow), m_settings(platform.settings) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Advanced Options"));
    setWindowFont(this);
    setFixedSize(twips(8040), twips(1650));

    Frame2 = new QGroupBox(QStringLiteral("Advanced Option"), this);
    place(Frame2, "Frame2", 120, 120, 7800, 885);
    Label1 = new QLabel(QStringLiteral("DBC File:"), Frame2);
    place(Label1, "Label1", 240, 360, 735, 225);
    Text1 = new QLineEdit(Frame2);
    place(Text1, "Text1", 1080, 330, 5775, 345);
    PushButton5 = new QPushButton(QStringLiteral("..."), Frame2);
    place(PushButton5, "PushButton5", 6960, 330, 600, 345);
    PushButton1 = new QPushButton(QStringLiteral("OK"), this);
    place(PushButton1, "PushButton1", 120, 1130, 3840, 405);
    PushButton2 = new QPushButton(QStringLiteral("Cancel"), this);
    place(PushButton2, "PushButton2", 4080, 1130, 3840, 405);
    PushButton1->setAutoDefault(false);
    PushButton2->setAutoDefault(false);

    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    selectAllOnFocus(Text1);
    installPointerRule(m_platform, this, {PushButton1, PushButton2, PushButton5}, {this, Frame2, Text1});
}

QString Form4::label(const char* procedure) const {
    return locationLabel(QStringLiteral("Form4"), QString::fromLatin1(procedure));
}

void Form4::Form_Load() {
    ErrorTrap trap(m_platform.messageBox, label("Form_Load"), this);
    trap.line(102, [&] { SetWindowColors(this); });
    trap.line(104, [&] { setApplicationIcon(this); });
    if (trap.test(106, [&] {
            return FileExists(m_platform.environment, m_platform.environment.programFolder() + kHandCursorFile);
        })) {
        trap.line(108, [&] {
            m_platform.pointer.loadCustom(this, m_platform.environment.programFolder() + kHandCursorFile);
        });
    }
    trap.line(112, [&] { Text1->setText(m_settings.read(kKeyDbcFile)); });
}

void Form4::Text1_Change() { m_settings.write(kKeyDbcFile, Text1->text()); }

void Form4::PushButton1_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton1_Click"), this);
    if (trap.test(102, [&] { return !Text1->text().isEmpty(); })) {
        trap.line(104, [&] { m_form1.OptionDBC1 = true; });
        trap.line(106, [&] { m_form1.DBCPath1 = Text1->text(); });
        trap.line(108, [&] { m_settings.write(kKeyFoxproOption, QLatin1String(kOptionContainer)); });
    }
    trap.line(112, [&] { accept(); });
}

void Form4::PushButton2_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton2_Click"), this);
    trap.line(102, [&] { m_settings.write(kKeyFoxproOption, QLatin1String(kOptionFolder)); });
    trap.line(104, [&] { m_form1.OptionDBC1 = false; });
    trap.line(106, [&] { reject(); });
}

void Form4::PushButton5_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton5_Click"), this);
    trap.line(102, [&] { CommonDialog1.fileName.clear(); });
    trap.line(104, [&] { CommonDialog1.flags = kDbcDialogFlags; });
    trap.line(106, [&] { CommonDialog1.title = QStringLiteral("Select Foxpro Database"); });
    trap.line(108, [&] { CommonDialog1.filter = QStringLiteral("Microsoft Database (*.dbc)|*.dbc|"); });
    trap.line(110, [&] { m_platform.fileDialog.showOpen(this, CommonDialog1); });
    if (trap.test(112, [&] { return !CommonDialog1.fileName.isEmpty(); })) {
        trap.line(114, [&] { Text1->setText(CommonDialog1.fileName); });
    }
}

}  // namespace dorvane::app
