#include "catalogue/table_list_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <stdexcept>

#include "app/connection_window.h"
#include "app/error_trap.h"
#include "app/window_behaviour.h"
#include "catalogue/new_table_window.h"
#include "catalogue/table_listing.h"
#include "catalogue/temporary_field.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"

namespace dorvane::catalogue {

using app::ConnectionVariant;
using platform::Pointer;

Form2::Form2(platform::Platform& platform, app::Form1& connectionWindow, app::EditingSession& session,
             QWidget* parent)
    : QWidget(parent), m_platform(platform), m_form1(connectionWindow), m_session(session) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString::fromLatin1(app::kProductTitle));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    app::setWindowFont(this);
    app::setApplicationIcon(this);
    setFixedSize(app::twips(8040), app::twips(4515));

    Frame1 = new QGroupBox(QStringLiteral("Which table do you want edit?"), this);
    app::place(Frame1, "Frame1", 120, 120, 7800, 3255);
    List1 = new QListWidget(Frame1);
    app::place(List1, "List1", 240, 300, 7320, 2760);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setUniformItemSizes(true);
    PushButton2 = new QPushButton(QStringLiteral("< Back"), this);
    app::place(PushButton2, "PushButton2", 120, 3480, 3840, 405);
    PushButton3 = new QPushButton(QStringLiteral("Next >"), this);
    app::place(PushButton3, "PushButton3", 4080, 3495, 3840, 405);
    PushButton5 = new QPushButton(QStringLiteral("Delete Selected Table"), this);
    app::place(PushButton5, "PushButton5", 120, 3990, 3840, 405);
    PushButton4 = new QPushButton(QStringLiteral("Create New Table"), this);
    app::place(PushButton4, "PushButton4", 4080, 3990, 3840, 405);

    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    app::installPointerRule(m_platform, this, {PushButton2, PushButton3, PushButton4, PushButton5},
                            {this, List1, Frame1});
}

QString Form2::label(const char* procedure) const {
    return app::locationLabel(QStringLiteral("Form2"), QString::fromLatin1(procedure));
}

int Form2::selectedRow() const {
    const QList<QListWidgetItem*> selected = List1->selectedItems();
    return selected.isEmpty() ? -1 : List1->row(selected.first());
}

provider::Connection& Form2::sharedConnection() const {
    if (!m_session.SharedConnection) throw std::runtime_error("The shared connection has not been created.");
    return *m_session.SharedConnection;
}

app::EditorStep& Form2::editor() const {
    if (!m_editor) throw std::runtime_error("The table editor window is not available.");
    return *m_editor;
}

void Form2::showStep() {
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    show();
}

void Form2::listTables() {
    LoadFoxProTables(*List1, m_form1.connectionString(ConnectionVariant::Plain), m_platform.events);
}

void Form2::Form_Load() {
    m_loaded = true;
    app::ErrorTrap trap(m_platform.messageBox, label("Form_Load"), this);
    trap.line(102, [&] { app::SetWindowColors(this); });
    trap.line(104, [&] { app::loadHandCursor(m_platform, this); });
    trap.line(106, [&] { setWindowTitle(QString::fromLatin1(app::kProductTitle)); });
    trap.line(108, [&] { m_session.SharedConnection = std::make_shared<provider::Connection>(); });
    trap.line(110, [&] { sharedConnection().CursorLocation = 3; });
    trap.line(112, [&] { m_platform.pointer.set(this, Pointer::Hourglass); });
    trap.line(114, [&] { setEnabled(false); });
    trap.line(116, [&] { listTables(); });
    if (trap.test(118, [&] { return List1->count() > 0; })) {
        trap.line(120, [&] { List1->setCurrentRow(0); });
    }
    trap.line(124, [&] { setEnabled(true); });
    trap.line(126, [&] { m_platform.pointer.set(this, Pointer::Default); });
}

void Form2::PushButton2_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton2_Click"), this);
    trap.line(102, [&] { m_form1.show(); });
    trap.line(104, [&] { hide(); });
}

void Form2::PushButton3_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton3_Click"), this);
    if (trap.test(102, [&] { return selectedRow() < 0; })) {
        trap.line(104, [&] {
            m_platform.messageBox.show(this, {QStringLiteral("Please select a table"), QString(),
                                              platform::MessageButtons::Ok, platform::MessageIcon::None});
        });
        return;
    }
    trap.line(110, [&] { m_platform.pointer.set(this, Pointer::Hourglass); });
    if (trap.test(112, [&] { return sharedConnection().state() != 0; })) {
        trap.line(114, [&] { sharedConnection().Close(); });
    }
    trap.line(118, [&] {
        sharedConnection().CommandTimeout = 5000;
        sharedConnection().ConnectionTimeout = 5000;
    });
    trap.line(120, [&] {
        sharedConnection().Open(m_form1.connectionString(ConnectionVariant::Exclusive).toStdString());
    });
    trap.line(122, [&] { m_session.CurrentTableName = List1->item(selectedRow())->text(); });
    trap.line(124, [&] { editor().showEditor(); });
    trap.line(126, [&] {
        editor().setEditingCaption(QStringLiteral(" Now Editing: ") + m_session.CurrentTableName);
    });
    trap.line(128, [&] { editor().setGridDataSource(nullptr); });
    trap.line(130, [&] { prepareTemporaryField(sharedConnection()); });
    auto rows = std::make_shared<provider::Recordset>();
    trap.line(134, [&] {
        rows->CursorLocation = 3;
        rows->Open("SELECT * FROM \"" + m_session.CurrentTableName.toStdString() + "\"", sharedConnection(),
                   2, 3);
    });
    trap.line(136, [&] { editor().setGridDataSource(rows->DataSource()); });
    if (trap.test(138, [&] { return rows->Fields().count() > 0; })) {
        trap.line(140, [&] {
            int column = rows->Fields().count() - 1;
            if (column >= editor().gridColumnCount()) column = editor().gridColumnCount() - 1;
            editor().setGridColumnWidth(column, 0);
        });
    }
    trap.line(144, [&] { editor().focusGrid(); });
    trap.line(146, [&] { hide(); });
    trap.line(148, [&] { m_platform.pointer.set(this, Pointer::Default); });
}

void Form2::prepareTemporaryField(provider::Connection& connection) {
    const QString table = List1->item(selectedRow())->text();
    const QString source = m_form1.connectionString(ConnectionVariant::Plain);
    prepareTemporaryColumn(connection, table, [&] {
        for (const auto& prepared : m_session.preparedTables) {
            if (prepared.connectionString == source &&
                prepared.table.compare(table, Qt::CaseInsensitive) == 0)
                return;
        }
        m_session.preparedTables.push_back({source, table});
    });
}

void Form2::PushButton4_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton4_Click"), this);
    trap.line(102, [&] {
        frmNewTable designer(m_platform, m_form1, this);
        designer.Form_Load();
        m_platform.windows.showModal(designer);
    });
    trap.line(104, [&] { sharedConnection().CursorLocation = 3; });
    trap.line(106, [&] { m_platform.pointer.set(this, Pointer::Hourglass); });
    trap.line(108, [&] { setEnabled(false); });
    trap.line(110, [&] { listTables(); });
    if (trap.test(112, [&] { return List1->count() > 0; })) {
        trap.line(114, [&] { List1->setCurrentRow(0); });
    }
    trap.line(118, [&] { setEnabled(true); });
    trap.line(120, [&] { m_platform.pointer.set(this, Pointer::Default); });
}

void Form2::PushButton5_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton5_Click"), this);
    const int row = selectedRow();
    if (trap.test(102, [&] { return row < 0; })) return;
    QString name;
    trap.line(106, [&] { name = List1->item(row)->text(); });
    platform::MessageAnswer answer = platform::MessageAnswer::No;
    trap.line(108, [&] {
        answer =
            m_platform.messageBox.show(this, {QStringLiteral("Are you sure you want to delete ") + name + '?',
                                              QStringLiteral("Delete Table"), platform::MessageButtons::YesNo,
                                              platform::MessageIcon::None});
    });
    if (answer != platform::MessageAnswer::Yes) return;
    if (trap.test(112, [&] { return sharedConnection().state() != 0; })) {
        trap.line(114, [&] { sharedConnection().Close(); });
    }
    trap.line(118, [&] {
        sharedConnection().CommandTimeout = 5000;
        sharedConnection().ConnectionTimeout = 5000;
    });
    trap.line(120, [&] {
        sharedConnection().Open(m_form1.connectionString(ConnectionVariant::Exclusive).toStdString());
    });
    // The entry goes only with the table: a table the provider would not drop stays listed.
    if (!trap.line(122, [&] { sharedConnection().Execute("DROP TABLE `" + name.toStdString() + "`"); }))
        return;
    trap.line(124, [&] {
        delete List1->takeItem(row);
        List1->setCurrentItem(nullptr);
        List1->clearSelection();
    });
}

void Form2::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace dorvane::catalogue
