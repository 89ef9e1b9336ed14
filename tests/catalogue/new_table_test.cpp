// The designer's path and statement rules, and a table designed through the windows into a folder and
// into a container, read back by python3-dbf and judged by cdx-check.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/connection_window.h"
#include "catalogue/new_table_statement.h"
#include "catalogue/table_list_window.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/cdx_check.h"

using namespace dorvane;

TEST(NewTableStatement, FolderPathAndStatement) {
    const struct {
        const char *path, *parent;
    } parents[] = {{"/db/main.dbc", "/db/"}, {"main.dbc", ""}, {"/a/b/", "/a/b/"}, {"/x.dbc", "/"}};
    for (const auto& c : parents)
        EXPECT_EQ(catalogue::GetParentFolder(c.path).toStdString(), c.parent) << c.path;
    EXPECT_EQ(catalogue::newTableFilePath(catalogue::GetParentFolder("/db/main.dbc"), "name"),
              "/db/name.DBF");
    EXPECT_EQ(catalogue::newTableFilePath("/data", "orders"), "/data/orders.DBF");
    EXPECT_EQ(catalogue::createTableStatement("/data/orders.DBF", {"id", "note"}),
              "CREATE TABLE '/data/orders.DBF'(id M,note M)");
}

// "name:type" of each field, in order, as python3-dbf reads the table.
QString fieldsByPythonDbf(const QString& table) {
    QProcess python;
    python.start("/usr/bin/python3", {"-c",
                                      "import dbf,sys; t=dbf.Table(sys.argv[1]); t.open(); print(','.join("
                                      "n+':'+chr(t.field_info(n)[0]) for n in t.field_names))",
                                      table});
    python.waitForFinished();
    return QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError()).trimmed();
}

TEST(NewTableRoundTrip, DesignedTableIsCreatedListedAndDropped) {
    DORVANE_NEEDS_CDX_CHECK();
    for (const bool container : {false, true}) {
        SCOPED_TRACE(container ? "container" : "folder");
        platform::FakePlatform fake;
        platform::Platform desktop = fake.platform();
        QTemporaryDir folder;
        for (const char* ext : {"DBC", "DCT", "DCX"}) {
            QFile::copy(QString(DORVANE_FIXTURES "/foxprodb/FOXPRO-DB-TEST.") + ext,
                        folder.path() + "/c." + ext);
        }
        const QString dbc = folder.path() + "/c.DBC";
        app::EditingSession session;
        app::Form1 form1(desktop);
        catalogue::Form2 form2(desktop, form1, session);
        form1.setFolderText(folder.path());
        form1.OptionDBC1 = container;
        form1.DBCPath1 = dbc;
        form2.showStep();

        fake.inputBox.answers = {{true, "first name"}, {true, "notes"}, {true, "age"}};
        fake.windows.scripts.push_back([](QDialog& designer) {
            designer.findChild<QLineEdit*>("txtName")->setText("people");
            for (int i = 0; i < 3; ++i) designer.findChild<QPushButton*>("PushButton6")->click();
            designer.findChild<QPushButton*>("PushButton2")->click();
            return designer.result();
        });
        form2.PushButton4_Click();
        auto* list = form2.findChild<QListWidget*>("List1");
        ASSERT_EQ(list->findItems("people", Qt::MatchExactly).size(), 1);
        EXPECT_EQ(fieldsByPythonDbf(folder.path() + "/people.DBF"), "firstnam:M,notes:M,age:M");
        if (container) {
            EXPECT_EQ(test::runCdxCheck(dbc.toStdString()).exitCode, 0);
        }

        list->setCurrentItem(list->findItems("people", Qt::MatchExactly)[0]);
        form2.PushButton5_Click();
        EXPECT_FALSE(QFile::exists(folder.path() + "/people.DBF"));
        if (container) {
            EXPECT_EQ(test::runCdxCheck(dbc.toStdString()).exitCode, 0);
        }
        form2.reloadStep();
        EXPECT_EQ(list->findItems("people", Qt::MatchExactly).size(), 0);
        EXPECT_EQ(fake.messageBox.texts(), QStringList{"Are you sure you want to delete people?"});
    }
}

int main(int argc, char** argv) {
    // Windows without a screen, also when the test list is read.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
