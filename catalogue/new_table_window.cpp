#include "catalogue/new_table_window.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <memory>
#include <stdexcept>

#include "app/connection_window.h"
#include "app/error_trap.h"
#include "app/window_behaviour.h"
#include "catalogue/new_table_statement.h"
#include "provider/ado/connection.h"

namespace dorvane::catalogue {

frmNewTable::frmNewTable(platform::Platform& platform, app::Form1& connectionWindow, QWidget* parent)
    : QDialog(parent), m_platform(platform), m_form1(connectionWindow) {
    setObjectName(QStringLiteral("frmNewTable"));
    setWindowTitle(QStringLiteral("Add New Table"));
    app::setWindowFont(this);
    setFixedSize(app::twips(8040), app::twips(4725));

    Frame2 = new QGroupBox(QStringLiteral("Table Name"), this);
    app::place(Frame2, "Frame2", 120, 120, 7800, 820);
    txtName = new QLineEdit(Frame2);
    app::place(txtName, "txtName", 240, 300, 7320, 345);
    Frame1 = new QGroupBox(QStringLiteral("Field/s"), this);
    app::place(Frame1, "Frame1", 120, 975, 7800, 3140);
    List1 = new QListWidget(Frame1);
    app::place(List1, "List1", 240, 300, 7320, 1635);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    PushButton6 = new QPushButton(QStringLiteral("Add"), Frame1);
    app::place(PushButton6, "PushButton6", 240, 2030, 3600, 405);
    PushButton1 = new QPushButton(QStringLiteral("Delete"), Frame1);
    app::place(PushButton1, "PushButton1", 3960, 2030, 3600, 405);
    PushButton5 = new QPushButton(QStringLiteral("Move Selected Down"), Frame1);
    app::place(PushButton5, "PushButton5", 240, 2540, 3600, 405);
    PushButton4 = new QPushButton(QStringLiteral("Move Selected Up"), Frame1);
    app::place(PushButton4, "PushButton4", 3960, 2540, 3600, 405);
    PushButton2 = new QPushButton(QStringLiteral("Save"), this);
    app::place(PushButton2, "PushButton2", 120, 4200, 3840, 405);
    PushButton3 = new QPushButton(QStringLiteral("Cancel"), this);
    app::place(PushButton3, "PushButton3", 4080, 4200, 3840, 405);
    for (QPushButton* button :
         {PushButton6, PushButton1, PushButton5, PushButton4, PushButton2, PushButton3}) {
        button->setAutoDefault(false);
    }

    connect(PushButton6, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    app::installPointerRule(m_platform, this,
                            {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6},
                            {this, Frame1, Frame2});
}

QString frmNewTable::label(const char* procedure) const {
    return app::locationLabel(QStringLiteral("frmNewTable"), QString::fromLatin1(procedure));
}

int frmNewTable::selectedRow() const {
    const QList<QListWidgetItem*> selected = List1->selectedItems();
    return selected.isEmpty() ? -1 : List1->row(selected.first());
}

QStringList frmNewTable::fields() const {
    QStringList names;
    for (int i = 0; i < List1->count(); ++i) names << List1->item(i)->text();
    return names;
}

void frmNewTable::Form_Load() {
    app::ErrorTrap trap(m_platform.messageBox, label("Form_Load"), this);
    trap.line(102, [&] { app::SetWindowColors(this); });
    trap.line(104, [&] { app::setApplicationIcon(this); });
    trap.line(106, [&] { app::loadHandCursor(m_platform, this); });
}

void frmNewTable::cmdAdd_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("cmdAdd_Click"), this);
    QString answer;
    trap.line(104, [&] {
        answer = m_platform.inputBox
                     .ask(this, QStringLiteral("Enter Column Name: "), QStringLiteral("Input Column Name"),
                          QString())
                     .text;
    });
    if (trap.test(106, [&] { return answer.isEmpty(); })) return;
    trap.line(110, [&] { List1->addItem(fieldNameFromAnswer(answer)); });
}

void frmNewTable::PushButton1_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton1_Click"), this);
    if (trap.test(102, [&] { return List1->count() > 0; })) {
        trap.line(104, [&] {
            const int row = selectedRow();
            if (row >= 0) delete List1->takeItem(row);
            List1->setCurrentItem(nullptr);
            List1->clearSelection();
        });
    }
}

void frmNewTable::PushButton4_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton4_Click"), this);
    if (trap.test(102, [&] { return List1->count() == 0; })) return;
    const int i = selectedRow();
    if (trap.test(106, [&] { return i > 0; })) {
        trap.line(108, [&] { List1->insertItem(i - 1, List1->item(i)->text()); });
        trap.line(110, [&] { delete List1->takeItem(i + 1); });
        trap.line(112, [&] { List1->setCurrentRow(i - 1); });
    }
    trap.line(116, [&] { List1->setFocus(); });
}

void frmNewTable::PushButton5_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton5_Click"), this);
    if (trap.test(102, [&] { return List1->count() == 0; })) return;
    const int i = selectedRow();
    if (trap.test(106, [&] { return i >= 0 && i < List1->count() - 1; })) {
        trap.line(108, [&] { List1->insertItem(i + 2, List1->item(i)->text()); });
        trap.line(110, [&] { delete List1->takeItem(i); });
        trap.line(112, [&] { List1->setCurrentRow(i + 1); });
    }
    trap.line(116, [&] { List1->setFocus(); });
}

void frmNewTable::PushButton2_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton2_Click"), this);
    std::unique_ptr<provider::Connection> connection;
    trap.line(102, [&] { connection = std::make_unique<provider::Connection>(); });
    if (trap.test(104, [&] { return txtName->text().isEmpty(); })) return;
    if (trap.test(108, [&] { return List1->count() == 0; })) return;
    QString folder;
    trap.line(
        112, [&] { folder = m_form1.OptionDBC1 ? GetParentFolder(m_form1.DBCPath1) : m_form1.folderText(); });
    const QString path = newTableFilePath(folder, txtName->text());
    // A name that would reach outside the folder is refused before anything is looked up or created.
    if (!trap.line(116, [&] {
            const QString problem = tableNameProblem(txtName->text());
            if (!problem.isEmpty()) throw std::runtime_error(problem.toStdString());
        })) {
        return;
    }
    if (trap.test(118, [&] { return tableFileExists(path); })) {
        trap.line(120, [&] {
            m_platform.messageBox.show(this, {QStringLiteral("Table already exists."), QString(),
                                              platform::MessageButtons::Ok, platform::MessageIcon::None});
        });
        return;
    }
    const std::string statement = createTableStatement(path, fields()).toStdString();
    auto usable = [&]() -> provider::Connection& {
        if (!connection) throw std::runtime_error("The connection could not be created.");
        return *connection;
    };
    if (trap.test(126, [&] { return usable().state() != 0; })) {
        trap.line(128, [&] { usable().Close(); });
    }
    trap.line(132, [&] {
        m_platform.events.doEvents();
        m_platform.events.doEvents();
    });
    trap.line(134, [&] {
        usable().CursorLocation = 2;
        usable().CommandTimeout = 5000;
        usable().ConnectionTimeout = 5000;
    });
    const bool opened = trap.line(
        136, [&] { usable().Open(m_form1.connectionString(app::ConnectionVariant::Plain).toStdString()); });
    // A design the provider refused stays open, so the user can correct it instead of typing it again.
    const bool created = opened && trap.line(138, [&] { usable().Execute(statement); });
    if (trap.test(140, [&] { return usable().state() != 0; })) {
        trap.line(142, [&] { usable().Close(); });
    }
    if (created) trap.line(146, [&] { accept(); });
}

void frmNewTable::PushButton3_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton3_Click"), this);
    trap.line(102, [&] { reject(); });
}

}  // namespace dorvane::catalogue
