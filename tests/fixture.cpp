#include "fixture.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace varid::testing {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "varid-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* a = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)a;
    return *QCoreApplication::instance();
}

void TwoDatabases::SetUp()
{
    app();
    ASSERT_TRUE(dir_.isValid());
    createEmbeddedDatabase(localFile(), DbRole::Local);
    createEmbeddedDatabase(mainFile(), DbRole::Main);
}

QVariant TwoDatabases::scalar(const QString& file, const QString& sql)
{
    const QString name = QUuid::createUuid().toString();
    QVariant out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        if (!q.exec(sql))
            ADD_FAILURE() << q.lastError().text().toStdString() << " in " << sql.toStdString();
        else if (q.next())
            out = q.value(0);
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

void TwoDatabases::connectBoth(DM& dm, DM2& dm2)
{
    dm.ADOC1.setConnectionString(QStringLiteral("local"), ConnectionSettings{QString(), QStringLiteral("local.db"), {}, {}, true}, home());
    dm.ADOC1.connect();
    dm2.ADOC2.setConnectionString(QStringLiteral("main"), ConnectionSettings{QString(), QStringLiteral("main.db"), {}, {}, false}, home());
    dm2.ADOC2.connect();
}

} // namespace varid::testing
