// Form3 opening a container table whose triggers only FoxPro can run: one notice per table, through the
// scripted desktop; tables without such triggers open without a word.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "editor/editor_statements.h"
#include "editor/editor_window.h"
#include "platform/fake/fake_platform.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/format/container.h"
#include "provider/format/container_properties.h"
#include "provider/indexing/attach.h"

using namespace dorvane;

namespace {

// Gives the container's table an insert trigger of its own and the builder's delete trigger.
void addTriggers(const QString& dbc, const char* table) {
    auto container = provider::Container::open(dbc.toStdString(), provider::OpenMode::Exclusive);
    std::vector<std::unique_ptr<provider::indexing::IndexMaintainer>> keep;
    if (provider::indexing::attachIndexMaintenance(container->dbcTable(), keep))
        QFAIL("the .dcx is not kept");
    const auto recno = container->findTable(table)->recno;
    const int property = container->dbcTable().fieldIndex("PROPERTY");
    const provider::Value memo = container->dbcTable().value(recno, property);
    auto properties = provider::parseProperties(std::holds_alternative<provider::Blob>(memo)
                                                    ? std::get<provider::Blob>(memo).bytes
                                                    : std::get<std::string>(memo));
    properties[14] = provider::textProperty("audit_insert()");
    properties[16] = provider::textProperty("__ri_delete_setup()");
    container->dbcTable().update(recno, {{property, provider::Blob{provider::encodeProperties(properties)}}});
}

}  // namespace

class TriggerNoticeTest : public QObject {
    Q_OBJECT
private slots:
    void toldOncePerTable() {
        QTemporaryDir dir;
        const QString fixtures = DORVANE_FIXTURES "/foxprodb/";
        for (const QString& name : QDir(fixtures).entryList(QDir::Files)) {
            QFile::copy(fixtures + name, dir.filePath(name));
            QFile(dir.filePath(name)).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        const QString dbc = dir.filePath("FOXPRO-DB-TEST.DBC");
        addTriggers(dbc, "setup");

        platform::FakePlatform fake;
        platform::Platform platform = fake.platform();
        app::EditingSession session;
        editor::Form3 form3(platform, session);
        auto open = [&](const QString& table) {
            session.SharedConnection = std::make_shared<provider::Connection>();
            session.SharedConnection->Open(
                ("Provider=vfpoledb.1;Data Source=" + dbc + ";mode=share exclusive;").toStdString());
            session.CurrentTableName = table;
            try {  // a table opened before keeps its identifier column
                session.SharedConnection->Execute(editor::addIdentifier(table).toStdString());
            } catch (const std::exception&) {
            }
            session.SharedConnection->Execute(editor::numberIdentifier(table).toStdString());
            provider::Recordset rows;
            rows.CursorLocation = 3;
            rows.Open(editor::gridSelect(table).toStdString(), *session.SharedConnection, 2, 3);
            form3.setGridDataSource(rows.DataSource());
            form3.setGridDataSource(nullptr);
            session.SharedConnection->Close();
        };
        open("setup");
        QCOMPARE(int(fake.messageBox.shown.size()), 1);
        QCOMPARE(fake.messageBox.shown[0].text,
                 QString("The table setup has triggers that only FoxPro can run:\r\r    insert trigger: "
                         "audit_insert()\r\rChanges you make here are saved without running them."));
        QCOMPARE(fake.messageBox.shown[0].title, fake.messageBox.applicationTitle());
        open("setup");
        open("types");
        QCOMPARE(int(fake.messageBox.shown.size()), 1);
    }
};

QTEST_MAIN(TriggerNoticeTest)
#include "trigger_notice_test.moc"
