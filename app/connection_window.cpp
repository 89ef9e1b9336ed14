#include "app/connection_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "app/advanced_options_window.h"
#include "app/error_trap.h"
#include "app/folder_browser.h"
#include "app/foxpro.h"
#include "app/window_behaviour.h"
#include "app/wizard.h"
#include "provider/ado/connection.h"

namespace dorvane::app {

Form1::Form1(platform::Platform& platform, QWidget* parent)
    : QWidget(parent), m_platform(platform), m_settings(platform.settings) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setWindowFont(this);
    setFixedSize(twips(8040), twips(2610));

    PushButton10 = new QPushButton(QStringLiteral("Help"), this);
    place(PushButton10, "PushButton10", 120, 120, 7800, 405);
    Frame1 = new QGroupBox(QStringLiteral("FoxPro Login"), this);
    place(Frame1, "Frame1", 120, 600, 7800, 1365);
    Label1 = new QLabel(QStringLiteral("Folder containing DBF/s:"), Frame1);
    place(Label1, "Label1", 240, 345, 2025, 225);
    Text2 = new QLineEdit(Frame1);
    place(Text2, "Text2", 2400, 300, 4455, 345);
    PushButton7 = new QPushButton(QStringLiteral("..."), Frame1);
    place(PushButton7, "PushButton7", 6960, 300, 600, 345);
    PushButton1 = new QPushButton(QStringLiteral("Load Sample/Example Database"), Frame1);
    place(PushButton1, "PushButton1", 240, 780, 3600, 405);
    PushButton8 = new QPushButton(QStringLiteral("Test Connection"), Frame1);
    place(PushButton8, "PushButton8", 3960, 780, 2880, 405);
    PushButton12 = new QPushButton(QStringLiteral("dbc"), Frame1);
    place(PushButton12, "PushButton12", 6960, 780, 600, 405);
    PushButton3 = new QPushButton(QStringLiteral("Next >"), this);
    place(PushButton3, "PushButton3", 120, 2080, 7800, 405);

    connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton10, &QPushButton::clicked, this, [this] { PushButton10_Click(); });
    connect(PushButton12, &QPushButton::clicked, this, [this] { PushButton12_Click(); });
    selectAllOnFocus(Text2);
    installPointerRule(m_platform, this, {PushButton1, PushButton3, PushButton7, PushButton8, PushButton10, PushButton12},
                       {this, Text2, Frame1});
}

QString Form1::label(const char* procedure) const {
    return locationLabel(QStringLiteral("Form1"), QString::fromLatin1(procedure));
}

void Form1::showMessage(const QString& text) {
    m_platform.messageBox.show(this, {text, QString(), platform::MessageButtons::Ok, platform::MessageIcon::None});
}

QString Form1::connectionString(ConnectionVariant variant) const {
    return buildConnectionString(OptionDBC1, DBCPath1, Text2->text(), variant);
}

QString Form1::folderText() const { return Text2->text(); }

void Form1::setFolderText(const QString& text) { Text2->setText(text); }

void Form1::startUp() {
    Form_Load();
    if (!m_handedOver) show();
}

void Form1::Form_Load() {
    ErrorTrap trap(m_platform.messageBox, label("Form_Load"), this);
    trap.line(102, [&] { LoadSkin(m_platform, this); });
    trap.line(104, [&] { setWindowTitle(QString::fromLatin1(kProductTitle)); });
    trap.line(106, [&] { setApplicationIcon(this); });
    trap.line(108, [&] { SetApplicationTitle(m_platform); });
    if (trap.test(110, [&] {
            return FileExists(m_platform.environment, m_platform.environment.programFolder() + kHandCursorFile);
        })) {
        trap.line(112, [&] {
            m_platform.pointer.loadCustom(this, m_platform.environment.programFolder() + kHandCursorFile);
        });
    }
    trap.line(116, [&] { Text2->setText(m_settings.read(kKeyFreeTableFolder)); });
    trap.line(118, [&] { DBCPath1 = m_settings.read(kKeyDbcFile); });
    trap.line(120, [&] { OptionDBC1 = m_settings.read(kKeyFoxproOption) != QLatin1String(kOptionFolder); });
    if (trap.test(124, [&] { return IsValidFoxProConnection(m_platform.messageBox, connectionString(ConnectionVariant::Plain)); })) {
        trap.line(126, [&] { moveToTableList(); });
    }
    trap.line(130, [&] {
        if (m_startUpCheck) m_startUpCheck();
    });
}

void Form1::moveToTableList() {
    if (m_tableList) m_tableList->showStep();
    hide();
    m_handedOver = true;
}

void Form1::Text2_Change() {
    ErrorTrap trap(m_platform.messageBox, label("Text2_Change"), this);
    trap.line(102, [&] { m_settings.write(kKeyFreeTableFolder, Text2->text()); });
    if (trap.test(104, [&] { return !Text2->text().isEmpty(); })) {
        trap.line(106, [&] { m_settings.write(kKeyFoxproOption, QLatin1String(kOptionFolder)); });
        trap.line(108, [&] { OptionDBC1 = false; });
    }
}

void Form1::PushButton1_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton1_Click"), this);
    trap.line(102, [&] { m_settings.write(kKeyFoxproOption, QLatin1String(kOptionFolder)); });
    trap.line(104, [&] { OptionDBC1 = false; });
    trap.line(106, [&] { Text2->setText(m_platform.environment.programFolder() + QStringLiteral("/Samples")); });
}

void Form1::PushButton3_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton3_Click"), this);
    if (trap.test(102, [&] { return IsValidFoxProConnection(m_platform.messageBox, connectionString(ConnectionVariant::Plain)); })) {
        trap.line(104, [&] { moveToTableList(); });
        trap.line(106, [&] {
            if (m_tableList) m_tableList->reloadStep();
        });
    }
}

void Form1::PushButton7_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton7_Click"), this);
    QString chosen;
    trap.line(104, [&] {
        chosen = AddFolder::BrowseForFolder(m_platform.folderDialog, this, QStringLiteral("Please select folder:"), QString());
    });
    if (trap.test(106, [&] { return !chosen.isEmpty(); })) {
        trap.line(108, [&] { Text2->setText(chosen); });
    }
}

void Form1::PushButton8_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton8_Click"), this);
    std::unique_ptr<provider::Connection> connection;
    trap.line(102, [&] { connection = std::make_unique<provider::Connection>(); });
    bool opened = false;
    try {
        m_platform.pointer.set(this, platform::Pointer::Hourglass);
        if (!connection) throw std::runtime_error("no connection");
        connection->CursorLocation = 2;
        connection->CommandTimeout = 5000;
        connection->ConnectionTimeout = 5000;
        connection->Open(connectionString(ConnectionVariant::Plain).toStdString());
        opened = true;
    } catch (...) {
        opened = false;
    }
    if (opened) {
        trap.line(112, [&] { showMessage(QStringLiteral("Connection successful.")); });
        trap.line(114, [&] { m_platform.pointer.set(this, platform::Pointer::Default); });
    } else {
        trap.line(118, [&] { showMessage(QStringLiteral("Could not connect.")); });
        trap.line(120, [&] { m_platform.pointer.set(this, platform::Pointer::Default); });
    }
    // The connection is dropped without Close.
}

void Form1::PushButton10_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton10_Click"), this);
    trap.line(102, [&] { showMessage(QStringLiteral("Make sure FoxPro is closed while using this application.")); });
}

void Form1::PushButton12_Click() {
    ErrorTrap trap(m_platform.messageBox, label("PushButton12_Click"), this);
    trap.line(102, [&] {
        Form4 options(m_platform, *this, this);
        options.Form_Load();
        m_platform.windows.showModal(options);
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace dorvane::app
