// The table-list window and the new-table designer, driven through the scripted desktop over real
// tables in scratch folders.
#include "catalogue/table_list_window.h"

#include <sys/file.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/connection_window.h"
#include "catalogue/new_table_window.h"
#include "platform/fake/fake_platform.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"

using namespace dorvane;
using platform::MessageAnswer;

namespace {

// What Next does to the editor, as a list of calls.
struct EditorDouble final : app::EditorStep {
    QStringList calls;
    int columns = 0;
    void showEditor() override { calls << "show"; }
    void setEditingCaption(const QString& text) override { calls << "caption" + text; }
    void setGridDataSource(std::shared_ptr<provider::RowSource> rows) override {
        columns = rows ? rows->columnCount() : 0;
        calls << (rows ? "bind" : "unbind");
    }
    int gridColumnCount() const override { return columns; }
    void setGridColumnWidth(int column, int width) override {
        calls << QString("width%1=%2").arg(column).arg(width);
    }
    void focusGrid() override { calls << "focus"; }
};

// One run over a scratch folder of tables.
struct Run {
    platform::FakePlatform fake;
    platform::Platform platform = fake.platform();
    QTemporaryDir folder;
    app::EditingSession session;
    app::Form1 form1{platform};
    catalogue::Form2 form2{platform, form1, session};

    explicit Run(const QStringList& tables = {"orders", "items"}) {
        form1.setTableListStep(&form2);
        form1.setFolderText(folder.path());
        for (const QString& t : tables) create(t);
        form2.showStep();
    }
    void create(const QString& table) {
        provider::Connection c;
        c.Open(form1.connectionString(app::ConnectionVariant::Plain).toStdString());
        c.Execute(("CREATE TABLE '" + folder.path() + "/" + table + ".dbf'(name M)").toStdString());
    }
    QListWidget* list(QWidget* w) { return w->findChild<QListWidget*>("List1"); }
    QStringList names(QWidget* w) {
        QStringList out;
        for (int i = 0; i < list(w)->count(); ++i) out << list(w)->item(i)->text();
        return out;
    }
    int selected(QWidget* w) { return list(w)->selectedItems().isEmpty() ? -1 : list(w)->currentRow(); }
    void click(QWidget* w, const char* name) { w->findChild<QPushButton*>(name)->click(); }
};

}  // namespace

class TableListWindowTest : public QObject {
    Q_OBJECT

private slots:
    void loadListsTablesAndSelectsTheFirst() {
        Run run;
        QCOMPARE(run.names(&run.form2).size(), 2);
        QCOMPARE(run.selected(&run.form2), 0);
        QVERIFY(run.form2.isEnabled() && run.form2.isVisible());
        QCOMPARE(run.session.SharedConnection->CursorLocation, 3);

        Run empty(QStringList{});
        QVERIFY(empty.names(&empty.form2).isEmpty());
        QVERIFY(empty.fake.messageBox.shown.empty());
        // A source that cannot be listed: one report, and the list keeps what it had.
        run.form1.setFolderText(run.folder.path() + "/gone");
        run.form2.reloadStep();
        QCOMPARE(run.fake.messageBox.shown.size(), size_t(1));
        QVERIFY(run.fake.messageBox.shown[0].text.contains("Form2.Form_Load at line 116"));
        QCOMPARE(run.names(&run.form2).size(), 2);
        QVERIFY(run.form2.isEnabled());
    }

    void nextAndDeleteNeedASelection() {
        Run run;
        run.list(&run.form2)->clearSelection();
        run.click(&run.form2, "PushButton5");
        QVERIFY(run.fake.messageBox.shown.empty());
        run.click(&run.form2, "PushButton3");
        QCOMPARE(run.fake.messageBox.texts(), QStringList{"Please select a table"});
        QCOMPARE(run.session.SharedConnection->state(), 0);
        QVERIFY(run.form2.isVisible());
    }

    void nextHandsTheTableToTheEditorAndBackKeepsTheList() {
        Run run;
        EditorDouble editor;
        run.form2.setEditorStep(&editor);
        run.list(&run.form2)->setCurrentRow(1);
        const QString table = run.names(&run.form2)[1];
        run.click(&run.form2, "PushButton3");
        QVERIFY(run.fake.messageBox.shown.empty());
        QCOMPARE(editor.calls, QStringList({"show", "caption Now Editing: " + table, "unbind", "bind",
                                            "width1=0", "focus"}));
        QCOMPARE(run.session.CurrentTableName, table);
        QCOMPARE(run.session.preparedTables.size(), size_t(1));
        QVERIFY(!run.form2.isVisible());
        run.form2.PushButton3_Click();  // the same table again is recorded once
        QCOMPARE(run.session.preparedTables.size(), size_t(1));

        // The editor's Back shows the list as it was; the connection window's Next rebuilds it.
        run.create("later");
        run.form2.showStep();
        QCOMPARE(run.names(&run.form2).size(), 2);
        QCOMPARE(run.selected(&run.form2), 1);
        run.form1.PushButton3_Click();
        QCOMPARE(run.names(&run.form2).size(), 3);
        QCOMPARE(run.selected(&run.form2), 0);
    }

    void nextWithoutAnEditorReportsEachEditorStep() {
        Run run;
        run.click(&run.form2, "PushButton3");
        QVERIFY(run.fake.messageBox.shown.size() >= 4);
        QVERIFY(run.fake.messageBox.shown[0].text.contains("Form2.PushButton3_Click at line 124"));
    }

    void deleteAsksThenDropsOrKeepsTheEntry() {
        Run run;
        const QString first = run.names(&run.form2)[0];
        run.fake.messageBox.answers = {MessageAnswer::No};
        run.click(&run.form2, "PushButton5");
        QCOMPARE(run.fake.messageBox.shown[0].text, "Are you sure you want to delete " + first + "?");
        QCOMPARE(run.fake.messageBox.shown[0].title, QString("Delete Table"));
        QCOMPARE(run.names(&run.form2).size(), 2);
        QCOMPARE(run.session.SharedConnection->state(), 0);

        // Held open by another program: the provider's message, and the entry stays.
        const QString second = run.names(&run.form2)[1];
        run.list(&run.form2)->setCurrentRow(1);
        QFile held(run.folder.path() + "/" + second + ".dbf");
        QVERIFY(held.open(QIODevice::ReadOnly) && ::flock(held.handle(), LOCK_SH) == 0);
        run.click(&run.form2, "PushButton5");
        QVERIFY(run.fake.messageBox.shown.back().text.startsWith("File is in use by another user."));
        QCOMPARE(run.names(&run.form2).size(), 2);
        held.close();

        run.click(&run.form2, "PushButton5");
        QCOMPARE(run.names(&run.form2), QStringList{first});
        QVERIFY(!QFile::exists(run.folder.path() + "/" + second + ".dbf"));
        QCOMPARE(run.selected(&run.form2), -1);
    }

    void createNewTableRebuildsTheListEvenWhenCancelled() {
        Run run(QStringList{});
        run.create("later");
        run.click(&run.form2, "PushButton4");
        QCOMPARE(run.fake.windows.shownWindows, QStringList{"frmNewTable"});
        QCOMPARE(run.names(&run.form2), QStringList{"later"});
        QCOMPARE(run.selected(&run.form2), 0);
    }

    void designerAddsDeletesAndMovesFields() {
        Run run;
        catalogue::frmNewTable designer(run.platform, run.form1);
        for (const char* answer : {"last name", "customer address", "  ", "id"}) {
            run.fake.inputBox.answers.push_back({true, answer});
            designer.cmdAdd_Click();
        }
        designer.cmdAdd_Click();  // cancelled
        QCOMPARE(run.names(&designer), QStringList({"lastname", "customer", "", "id"}));
        QCOMPARE(run.fake.inputBox.asked[0].prompt, QString("Enter Column Name: "));
        QCOMPARE(run.fake.inputBox.asked[0].title, QString("Input Column Name"));

        run.list(&designer)->setCurrentRow(0);
        designer.PushButton4_Click();  // up at the top
        designer.PushButton5_Click();
        designer.PushButton5_Click();
        QCOMPARE(run.names(&designer), QStringList({"customer", "", "lastname", "id"}));
        designer.PushButton5_Click();
        designer.PushButton5_Click();  // down at the bottom
        designer.PushButton4_Click();
        QCOMPARE(run.names(&designer), QStringList({"customer", "", "lastname", "id"}));
        QCOMPARE(run.selected(&designer), 2);
        run.list(&designer)->setCurrentRow(1);
        designer.PushButton1_Click();
        QCOMPARE(run.names(&designer), QStringList({"customer", "lastname", "id"}));
        QCOMPARE(run.selected(&designer), -1);
        QVERIFY(run.fake.messageBox.shown.empty());
    }

    void designerSaveRefusesWhatItMustAndStaysOpen() {
        struct Case {
            const char* name;
            QStringList fields;
            QString box;  // the start of the box text; "" for none
        } cases[] = {
            {"", {"a"}, ""},
            {"fresh", {}, ""},
            {"ORDERS", {"a"}, "Table already exists."},
            {"fresh", {"a", "a"}, "Field name is a duplicate or invalid."},
            {"fresh", {"a", ""}, "Command contains unrecognized phrase/keyword."},
            {"sub/fresh", {"a"}, "Invalid path or file name."},
        };
        for (const Case& c : cases) {
            Run run({"orders"});
            QDir(run.folder.path()).mkdir("sub");
            catalogue::frmNewTable designer(run.platform, run.form1);
            designer.show();
            designer.findChild<QLineEdit*>("txtName")->setText(c.name);
            run.list(&designer)->addItems(c.fields);
            run.click(&designer, "PushButton2");
            QVERIFY2(designer.isVisible(), c.name);
            QCOMPARE(run.names(&designer), c.fields);
            const QString box = run.fake.messageBox.shown.empty() ? "" : run.fake.messageBox.shown[0].text;
            QVERIFY2(box.startsWith(c.box) && (box.isEmpty() == c.box.isEmpty()),
                     qPrintable(c.name + (": " + box)));
            QCOMPARE(QDir(run.folder.path()).entryList(QDir::Files).size(), 2);
            QVERIFY(QDir(run.folder.path() + "/sub").isEmpty());
        }
    }
};

QTEST_MAIN(TableListWindowTest)
#include "table_list_window_test.moc"
