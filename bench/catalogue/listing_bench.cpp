// Listing a folder of many tables into the table-list window's list box, as the window does it (events
// let through before each name), beside the provider's schema query alone.
// Usage: listing_bench <work folder> [tables, default 10000]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <cstdio>

#include "catalogue/table_listing.h"
#include "platform/qt/qt_platform.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"

using namespace dorvane;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: listing_bench <work folder> [tables]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
    QDir().mkpath(folder);
    const QString source = "Provider=vfpoledb.1;Data Source=" + folder + ";Collating Sequence=general;";
    if (QDir(folder).entryList({"*.dbf"}, QDir::Files).size() != count) {
        provider::Connection maker;
        maker.Open(source.toStdString());
        maker.Execute(("CREATE TABLE '" + folder + "/t00000.dbf'(name M)").toStdString());
        for (int i = 1; i < count; ++i) {
            const QString name = folder + QString("/t%1").arg(i, 5, 10, QChar('0'));
            QFile::copy(folder + "/t00000.dbf", name + ".dbf");
            QFile::copy(folder + "/t00000.fpt", name + ".fpt");
        }
    }

    QElapsedTimer timer;
    timer.start();
    provider::Connection connection;
    connection.Open(source.toStdString());
    auto schema = connection.OpenSchema(provider::kSchemaTables);
    long rows = 0;
    for (; !schema->Eof(); schema->MoveNext()) ++rows;
    std::printf("schema query alone: %ld tables in %lld ms\n", rows, static_cast<long long>(timer.elapsed()));

    platform::QtPlatform desktop;
    platform::Platform platform = desktop.platform();
    QListWidget list;
    list.setUniformItemSizes(true);
    list.resize(488, 184);
    list.show();
    QApplication::processEvents();
    for (int run = 0; run < 3; ++run) {
        timer.restart();
        catalogue::LoadFoxProTables(list, source, platform.events);
        std::printf("LoadFoxProTables into a shown list box: %d tables in %lld ms\n", list.count(),
                    static_cast<long long>(timer.elapsed()));
    }
    return 0;
}
