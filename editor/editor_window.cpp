#include "editor/editor_window.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/error_trap.h"
#include "app/window_behaviour.h"
#include "editor/data_grid.h"
#include "editor/editor_statements.h"
#include "editor/identifier_column.h"
#include "editor/trigger_notice.h"
#include "export/export_commands.h"
#include "provider/ado/connection.h"
#include "provider/error.h"

namespace dorvane::editor {

namespace {

constexpr char kHelpText[] =
    "Error: 'Multiple step' error can have many causes, eg. entering non numeric characters in a numeric "
    "column, etc.\r\rError: 'Too many rows affected', you have duplicate rows in the table, I have removed "
    "them.\r\rChanges you make to the table are automatically saved as you make them.";

QPushButton* button(QWidget* parent, const char* caption, const char* name, int left, int top) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    app::place(b, name, left, top, 3840, 405);
    return b;
}

}  // namespace

Form3::Form3(platform::Platform& platform, app::EditingSession& session, QWidget* parent)
    : QWidget(parent), m_platform(platform), m_session(session) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    app::setWindowFont(this);
    setFixedSize(app::twips(12000), app::twips(8595));

    Label2 = new QLabel(QStringLiteral(" Table: "), this);
    app::place(Label2, "Label2", 120, 90, 11760, 255);
    m_grid = new DataGrid1(this);
    app::place(m_grid, "DataGrid1", 120, 360, 11760, 6525);
    PushButton1 = button(this, "< Back", "PushButton1", 120, 7005);
    PushButton4 = button(this, "Help", "PushButton4", 4080, 7005);
    PushButton9 = button(this, "Add New Row", "PushButton9", 8040, 7005);
    PushButton8 = button(this, "Add New Column", "PushButton8", 120, 7530);
    PushButton2 = button(this, "Edit Column Name ", "PushButton2", 4080, 7530);
    PushButton6 = button(this, "Export Table As..", "PushButton6", 8040, 7530);
    PushButton5 = button(this, "Remove Row", "PushButton5", 120, 8070);
    PushButton7 = button(this, "Remove Column", "PushButton7", 4080, 8070);
    PushButton3 = button(this, "Quit", "PushButton3", 8040, 8070);
    Text1 = new QLineEdit(this);
    app::place(Text1, "Text1", 0, 0, 1200, 285);
    Text1->hide();
    Text1->installEventFilter(this);

    m_export = std::make_unique<exporting::ExportCommands>(m_platform, this, *m_grid);

    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { chkNewColumn_Click(); });
    connect(PushButton9, &QPushButton::clicked, this, [this] { PushButton9_Click(); });
    connect(m_grid, &DataGrid1::editStarted, this,
            [this](int column, const QString& typed) { DataGrid1_BeforeColEdit(column, typed); });
    app::installPointerRule(m_platform, this,
                            {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6,
                             PushButton7, PushButton8, PushButton9},
                            {this, Label2});
}

Form3::~Form3() = default;

QString Form3::label(const char* procedure) const {
    return app::locationLabel(QStringLiteral("Form3"), QString::fromLatin1(procedure));
}

void Form3::execute(const QString& statement) {
    if (!m_session.SharedConnection)
        throw std::runtime_error("Object variable or With block variable not set");
    m_session.SharedConnection->Execute(statement.toStdString());
}

// ---- Opening and reloading -------------------------------------------------------------------------

void Form3::showEditor() {
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    show();
    activateWindow();
}

void Form3::Form_Load() {
    app::ErrorTrap trap(m_platform.messageBox, label("Form_Load"), this);
    trap.line(102, [&] { app::SetWindowColors(this); });
    trap.line(104, [&] { app::setApplicationIcon(this); });
    trap.line(106, [&] { app::loadHandCursor(m_platform, this); });
    trap.line(108, [&] { setWindowTitle(QString::fromLatin1(app::kProductTitle)); });
}

void Form3::setEditingCaption(const QString& text) {
    Label2->setText(text);
}

void Form3::setGridDataSource(std::shared_ptr<provider::RowSource> rows) {
    bindRows(std::move(rows), true);
}

void Form3::bindRows(std::shared_ptr<provider::RowSource> rows, bool opening) {
    Text1->hide();
    m_editing = false;
    m_grid->setDataSource(rows);
    if (!rows) return;
    // Rows are keyed on tempidxxx only when it is there: a table the list window could not prepare is
    // shown whole, for reading.
    m_writable = endsWithIdentifier(*rows);
    for (QPushButton* b : {PushButton9, PushButton8, PushButton2, PushButton5, PushButton7})
        b->setEnabled(m_writable);
    if (m_writable && (opening || m_renumbered)) {
        m_renumbered = false;
        mTotalRecords = largestIdentifier(*rows);
    }
    if (opening) {
        m_toldReadOnly = m_writable;
        m_readOnlyReason.clear();
        if (!m_writable && m_session.SharedConnection && rows->columnCount() > 0) {
            m_readOnlyReason = readOnlyReason(*m_session.SharedConnection, m_session.CurrentTableName,
                                              QString::fromStdString(rows->column(0).name));
        }
        const QString triggers = m_writable && m_session.SharedConnection
                                     ? foreignTriggerNotice(*m_session.SharedConnection,
                                                            m_session.CurrentTableName, m_toldTriggers)
                                     : QString();
        if (!triggers.isEmpty())
            m_platform.messageBox.show(this, {triggers, QString(), platform::MessageButtons::Ok,
                                              platform::MessageIcon::Information});
    }
}

int Form3::gridColumnCount() const {
    return m_grid->columnCount();
}

void Form3::setGridColumnWidth(int column, int width) {
    // Only the row identifier is ever hidden: a real field in the last place stays visible.
    if (width == 0 && m_grid->columnDataField(column) != QLatin1String(kIdentifierColumn)) return;
    m_grid->setColumnWidth(column, width);
}

void Form3::focusGrid() {
    m_grid->focusFirstCell();
}

void Form3::tellReadOnly() {
    m_toldReadOnly = true;
    m_platform.messageBox.show(
        this,
        {QStringLiteral("The table ") + m_session.CurrentTableName +
             QStringLiteral(" is shown for reading only: it cannot be changed here.\r\r") + m_readOnlyReason,
         QString(), platform::MessageButtons::Ok, platform::MessageIcon::Information});
}

void Form3::refreshGrid() {
    app::ErrorTrap trap(m_platform.messageBox, label("refreshGrid"), this);
    std::unique_ptr<provider::Recordset> recordset;
    trap.line(102, [&] { recordset = std::make_unique<provider::Recordset>(); });
    trap.line(104, [&] { recordset->CursorLocation = 3; });
    trap.line(106, [&] {
        if (!m_session.SharedConnection)
            throw std::runtime_error("Object variable or With block variable not set");
        recordset->Open(gridSelect(m_session.CurrentTableName).toStdString(), *m_session.SharedConnection, 2,
                        3);
    });
    trap.line(108, [&] {
        if (!recordset->DataSource())
            throw std::runtime_error("Operation is not allowed when the object is closed.");
        bindRows(recordset->DataSource(), false);
    });
    int fields = 0;
    trap.line(110, [&] {
        if (!recordset->DataSource())
            throw std::runtime_error("Operation is not allowed when the object is closed.");
        fields = recordset->DataSource()->columnCount();
    });
    if (trap.test(112, [&] { return fields > 0; })) {
        int columns = 0;
        trap.line(114, [&] { columns = m_grid->columnCount(); });
        if (trap.test(116, [&] { return columns >= fields - 1; })) {
            trap.line(118, [&] { setGridColumnWidth(fields - 1, 0); });
        } else {
            trap.line(122, [&] { setGridColumnWidth(columns - 1, 0); });
        }
    }
    trap.line(128, [&] { focusGrid(); });
}

void Form3::createTemporaryField() {
    app::ErrorTrap trap(m_platform.messageBox, label("createTemporaryField"), this);
    const QList<QPushButton*> buttons{PushButton1, PushButton4, PushButton9, PushButton8, PushButton6};
    int line = 102;
    for (QPushButton* b : buttons) trap.line((line += 2) - 2, [&] { b->setEnabled(false); });
    trap.line(112, [&] { execute(dropIdentifier(m_session.CurrentTableName)); });
    trap.line(114, [&] { m_platform.events.doEvents(); });
    trap.line(116, [&] { m_platform.events.doEvents(); });
    trap.line(118, [&] { execute(addIdentifier(m_session.CurrentTableName)); });
    trap.line(120, [&] { execute(numberIdentifier(m_session.CurrentTableName)); });
    m_renumbered = true;
    trap.line(122, [&] { setWindowTitle(QString::fromLatin1(app::kProductTitle)); });
    line = 124;
    for (QPushButton* b : buttons) trap.line((line += 2) - 2, [&] { b->setEnabled(true); });
}

// ---- Leaving ---------------------------------------------------------------------------------------

void Form3::PushButton1_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton1_Click"), this);
    trap.line(102, [&] {
        if (m_tableList) m_tableList->showStep();
    });
    trap.line(104, [&] { hide(); });
}

void Form3::PushButton3_Click() {
    leaveSequence("PushButton3_Click");
}

void Form3::Form_Unload() {
    leaveSequence("Form_Unload");
}

QString Form3::plainConnectionString() const {
    const auto& prepared = m_session.preparedTables;
    for (auto it = prepared.rbegin(); it != prepared.rend(); ++it) {
        if (it->table == m_session.CurrentTableName) return it->connectionString;
    }
    return m_dataSource ? m_dataSource->connectionString(app::ConnectionVariant::Plain) : QString();
}

void Form3::leaveSequence(const char* procedure) {
    if (m_left) return;
    m_left = true;
    app::ErrorTrap trap(m_platform.messageBox, label(procedure), this);
    auto& connection = m_session.SharedConnection;
    auto need = [&] {
        if (!connection) throw std::runtime_error("Object variable or With block variable not set");
    };
    trap.line(102, [&] { m_platform.events.doEvents(); });
    if (trap.test(104, [&] { return need(), connection->state() != provider::kStateClosed; })) {
        trap.line(106, [&] { connection->Close(); });
    }
    trap.line(110, [&] { m_platform.events.doEvents(); });
    trap.line(112, [&] { m_platform.events.doEvents(); });
    trap.line(114, [&] { need(), connection->CursorLocation = 2; });
    trap.line(116, [&] { need(), connection->CommandTimeout = 5000; });
    trap.line(118, [&] { need(), connection->ConnectionTimeout = 5000; });
    trap.line(120, [&] { need(), connection->Open(plainConnectionString().toStdString()); });
    // A table shown for reading only never got the column: there is nothing to remove.
    trap.line(122, [&] {
        if (m_writable) execute(dropIdentifier(m_session.CurrentTableName));
    });
    trap.line(124, [&] { m_platform.events.doEvents(); });
    trap.line(126, [&] { m_platform.events.doEvents(); });
    if (trap.test(128, [&] { return need(), connection->state() != provider::kStateClosed; })) {
        trap.line(130, [&] { connection->Close(); });
    }
    trap.line(134, [&] { m_platform.events.doEvents(); });
    trap.line(136, [&] { m_platform.events.doEvents(); });
    trap.line(138, [&] {
        if (m_programEnd) m_programEnd();
    });
}

void Form3::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
}

void Form3::PushButton4_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton4_Click"), this);
    trap.line(102, [&] {
        m_platform.messageBox.show(this, {QString::fromLatin1(kHelpText), QString(),
                                          platform::MessageButtons::Ok, platform::MessageIcon::None});
    });
}

void Form3::PushButton6_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton6_Click"), this);
    trap.line(102, [&] { m_export->PushButton6_Click(); });
}

// ---- Rows ------------------------------------------------------------------------------------------

void Form3::PushButton9_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton9_Click"), this);
    QStringList columns, texts;
    bool cancelled = false;
    int count = 0;
    trap.line(102, [&] { count = m_grid->columnCount(); });
    for (int i = 0; i <= count - 2; ++i) {
        QString caption;
        trap.line(106, [&] { caption = m_grid->columnCaption(i); });
        platform::InputResult answer;
        trap.line(108, [&] {
            answer = m_platform.inputBox.ask(
                this, QStringLiteral("Enter Value of [") + caption + QStringLiteral("]: "),
                QStringLiteral("Enter Column Value"), QString());
        });
        if (trap.test(110, [&] { return !answer.accepted; })) {
            cancelled = true;
            break;
        }
        trap.line(116, [&] {
            columns << caption;
            texts << answer.text;
        });
    }
    if (trap.test(120, [&] { return cancelled || columns.isEmpty(); })) return;
    trap.line(124, [&] { ++mTotalRecords; });
    trap.line(126, [&] { execute(insertRow(m_session.CurrentTableName, mTotalRecords, columns, texts)); });
    trap.line(128, [&] { refreshGrid(); });
}

void Form3::PushButton5_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton5_Click"), this);
    if (trap.test(102, [&] { return m_grid->currentColumn() == -1; })) return;
    platform::MessageAnswer answer = platform::MessageAnswer::No;
    trap.line(106, [&] {
        answer = m_platform.messageBox.show(
            this, {QStringLiteral("Are you sure you want to delete the selected item?"),
                   QStringLiteral("Delete Selected"), platform::MessageButtons::YesNo,
                   platform::MessageIcon::None});
    });
    if (trap.test(108, [&] { return answer != platform::MessageAnswer::Yes; })) return;
    QString rowId;
    trap.line(112, [&] { rowId = m_grid->columnText(m_grid->columnCount() - 1); });
    trap.line(114, [&] { execute(deleteRow(m_session.CurrentTableName, rowId)); });
    trap.line(116, [&] { refreshGrid(); });
}

// ---- Columns ---------------------------------------------------------------------------------------

void Form3::chkNewColumn_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("chkNewColumn_Click"), this);
    QString name;
    trap.line(102, [&] {
        name = m_platform.inputBox
                   .ask(this, QStringLiteral("Enter Column Name: "), QStringLiteral("Input Column Name"),
                        QString())
                   .text;
    });
    if (trap.test(104, [&] { return name.isEmpty(); })) return;
    trap.line(108, [&] { execute(addMemoColumn(m_session.CurrentTableName, name)); });
    trap.line(110, [&] { createTemporaryField(); });
    trap.line(112, [&] { refreshGrid(); });
}

void Form3::PushButton2_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton2_Click"), this);
    QString sql;
    trap.setExtraText(QStringLiteral("\rsql: "));
    QString oldName, answer;
    trap.line(102, [&] { oldName = m_grid->columnCaption(m_grid->currentColumn()); });
    trap.line(104, [&] {
        answer = m_platform.inputBox
                     .ask(this, QStringLiteral("Change [") + oldName + QStringLiteral("] to :"), QString(),
                          QString())
                     .text;
    });
    if (trap.test(106, [&] { return answer.trimmed().isEmpty(); })) return;
    trap.line(110, [&] { answer = columnNameAnswer(answer); });
    trap.line(112, [&] { m_platform.events.doEvents(); });
    trap.line(114, [&] {
        sql = renameColumn(m_session.CurrentTableName, oldName, answer);
        trap.setExtraText(QStringLiteral("\rsql: ") + sql);
    });
    trap.line(116, [&] { execute(sql); });
    trap.line(118, [&] { m_platform.events.doEvents(); });
    trap.line(120, [&] { createTemporaryField(); });
    trap.line(122, [&] { refreshGrid(); });
}

void Form3::PushButton7_Click() {
    app::ErrorTrap trap(m_platform.messageBox, label("PushButton7_Click"), this);
    if (trap.test(102, [&] { return m_grid->currentColumn() == -1; })) return;
    QString name;
    trap.line(106, [&] { name = m_grid->columnDataField(m_grid->currentColumn()); });
    platform::MessageAnswer answer = platform::MessageAnswer::No;
    trap.line(108, [&] {
        answer = m_platform.messageBox.show(
            this,
            {QStringLiteral("Are you sure you want to remove ") + name + QStringLiteral("?"),
             QStringLiteral("Remove Column"), platform::MessageButtons::YesNo, platform::MessageIcon::None});
    });
    if (trap.test(110, [&] { return answer != platform::MessageAnswer::Yes; })) return;
    trap.line(114, [&] { execute(dropColumn(m_session.CurrentTableName, name)); });
    trap.line(116, [&] { m_platform.events.doEvents(); });
    trap.line(118, [&] { createTemporaryField(); });
    trap.line(120, [&] { refreshGrid(); });
}

// ---- Cell editing ----------------------------------------------------------------------------------

void Form3::DataGrid1_BeforeColEdit(int column, const QString& typed) {
    if (!m_writable) {
        if (!m_toldReadOnly) tellReadOnly();
        return;
    }
    bool editable = true;
    try {
        // The row identifier is never typed over: two rows sharing one would take each other's edits.
        editable = m_grid->columnDataField(column) != QLatin1String(kIdentifierColumn) &&
                   m_grid->model().isEditable(m_grid->currentRow(), column);
    } catch (...) {
        // A cell that cannot be read is reported by the steps below.
    }
    if (!editable) return;
    app::ErrorTrap trap(m_platform.messageBox, label("DataGrid1_BeforeColEdit"), this);
    trap.line(102, [&] { mEditField = m_grid->columnDataField(column); });
    trap.line(104, [&] { mEditRowId = m_grid->columnText(m_grid->columnCount() - 1); });
    trap.line(106, [&] { Text1->setText(m_grid->columnText(column).trimmed()); });
    m_editOriginal = Text1->text();
    trap.line(108, [&] { Text1->setSelection(0, int(Text1->text().size())); });
    trap.line(110, [&] {
        Text1->setGeometry(app::twipsRect(m_grid->columnLeft(column) + 100, m_grid->rowTop() + 400,
                                          m_grid->columnWidth(column) + 30, 285));
    });
    trap.line(112, [&] {
        m_editing = true;
        Text1->show();
        Text1->raise();
    });
    if (trap.test(114, [&] { return !typed.isEmpty() && typed != QString(QChar(8)); })) {
        trap.line(116, [&] {
            Text1->setText(typed);
            Text1->setCursorPosition(int(typed.size()));
        });
    }
    trap.line(120, [&] { Text1->setFocus(Qt::OtherFocusReason); });
}

void Form3::Text1_KeyPress(int keyAscii) {
    if (keyAscii == 13) commitEdit("Text1_KeyPress", 106);
}

void Form3::Text1_LostFocus() {
    commitEdit("Text1_LostFocus", 104);
}

void Form3::Text1_Escape() {
    if (!m_editing) return;
    m_editing = false;
    Text1->hide();
    m_grid->view()->setFocus(Qt::OtherFocusReason);
}

void Form3::commitEdit(const char* procedure, int updateLine) {
    if (!m_editing) return;
    m_editing = false;
    const QString text = Text1->text();
    if (text == m_editOriginal) {
        // Nothing was changed: nothing is written, so a NULL stays NULL and blanks stay.
        Text1->hide();
        m_grid->view()->setFocus(Qt::OtherFocusReason);
        return;
    }
    bool stored = false;
    bool reload = true;
    QString failure;
    try {
        execute(cellTextUpdate(m_session.CurrentTableName, mEditField, text, mEditRowId));
        stored = true;
    } catch (const provider::ProviderError& e) {
        failure = QString::fromStdString(e.message());
        if (e.hresult() != provider::kEFail) {
            reload = false;
        } else if (!text.contains(QLatin1Char('/'))) {
            try {
                execute(cellNumericUpdate(m_session.CurrentTableName, mEditField, leadingNumberText(text),
                                          mEditRowId));
                stored = true;
            } catch (...) {
            }
        }
    } catch (...) {
        failure = app::currentFailureDescription();
        reload = false;
    }
    if (!stored) {
        // The typed text stays in its box until the user has read why it was not stored.
        m_platform.messageBox.show(this, {app::errorReportText(failure, label(procedure), updateLine),
                                          QStringLiteral("Application Error"), platform::MessageButtons::Ok,
                                          platform::MessageIcon::Exclamation});
    }
    Text1->hide();
    if (reload) {
        refreshGrid();
    } else {
        m_grid->view()->setFocus(Qt::OtherFocusReason);
    }
}

bool Form3::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text1) {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Text1_KeyPress(13);
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                Text1_Escape();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) Text1_LostFocus();
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace dorvane::editor
