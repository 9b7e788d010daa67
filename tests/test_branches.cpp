// Two branches of one chain against one main database, each with its own home and local
// database, the main one named by a relative path in Path.ini.
#include "fixture.h"

#include "shell/station.h"
#include "data/values.h"

#include <QDir>
#include <QFile>

using namespace varid;

namespace {

class TwoBranches : public ::testing::Test {
protected:
    void SetUp() override
    {
        varid::testing::app();
        ASSERT_TRUE(dir.isValid());
        main = dir.filePath(QStringLiteral("chain/main.db"));
        QDir().mkpath(dir.filePath(QStringLiteral("chain")));
        createEmbeddedDatabase(main, DbRole::Main);
        runSqliteScript(main, QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('A1','Первый','НЕТ'),('A2','Второй','НЕТ');"));
        for (const char* code : {"A1", "A2"}) {
            const QString home = dir.filePath(QString::fromLatin1(code));
            QDir().mkpath(home);
            QFile ini(QDir(home).filePath(QStringLiteral("Path.ini")));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write("GLServerIP:127.0.0.1\r\nServerName:srv\r\nAdminName:sa\r\nAdminPass:x\r\nInterval:30\r\nTimeOpen:9:00\r\n"
                      "TimeClose:19:00\r\nStart:60\r\nGLAliasName:../chain/main.db\r\nLocalAliasName:local.db\r\n");
            ini.close();
            createEmbeddedDatabase(local(code), DbRole::Local);
            runSqliteScript(local(code), QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('%1','Филиал','ДА');")
                                             .arg(QString::fromLatin1(code)));
            hosts.push_back(std::make_unique<SimTimerHost>(QDateTime(QDate(2010, 3, 5), QTime(12, 0))));
            stations.push_back(std::make_unique<Station>(home, *hosts.back(), QStringLiteral("-") + QString::fromLatin1(code)));
            QObject::connect(stations.back().get(), &Station::lineAdded, stations.back().get(),
                             [this](const QString& l) { lines << l; });
            stations.back()->formCreate();
        }
    }
    QString local(const char* code) const { return dir.filePath(QString::fromLatin1(code) + QStringLiteral("/local.db")); }
    RunEnd run(int branch, bool incremental = true)
    {
        Station& st = *stations[size_t(branch)];
        EXPECT_TRUE(st.connectSequence(Station::Variant::Timer)) << st.session().connectErrors.join(QLatin1Char(';')).toStdString();
        st.setIncremental(incremental);
        st.setPickers(QDate(2010, 3, 1), QDate(2010, 3, 5));
        lines.clear();
        st.arm();
        st.T3Timer();
        st.waitForRun();
        return st.lastOutcome.end;
    }
    QVariant mainValue(const QString& sql) { return varid::testing::TwoDatabases::scalar(main, sql); }
    QVariant localValue(const char* code, const QString& sql) { return varid::testing::TwoDatabases::scalar(local(code), sql); }

    QTemporaryDir dir;
    QString main;
    QStringList lines;
    std::vector<std::unique_ptr<SimTimerHost>> hosts;
    std::vector<std::unique_ptr<Station>> stations;
};

QString rows(const char* kto)
{
    return QStringLiteral(
        "INSERT INTO GL_BOOK (G_NID, G_DATA, G_SUMMA, G_KTO, G_STATYS, G_NEW_OLD) VALUES ('G-%1','2010-03-03 00:00:00',5,'%1','1','NEW');"
        "INSERT INTO PRODLENIE (PRO_NID, PRO_B_NID, PRO_DATA, PRO_SUMMA, PRO_KTO, PRO_NEW_OLD) VALUES ('P-%1','B-%1','2010-03-03 00:00:00',1,'%1','NEW');"
        "INSERT INTO REALIZ (REA_NID, REA_DATA, REA_NOMER, REA_KTO, REA_NEW_OLD) VALUES ('R-%1','2010-03-03 00:00:00',1,'%1','NEW');"
        "INSERT INTO OSTATOK (O_NID, O_SCHET, O_MESIC, O_GOD, O_DEBET, O_KREDIT, O_KTO, O_NEW_OLD) VALUES ('O-%1','1010',3,2010,1,1,'%1','NEW');")
        .arg(QString::fromLatin1(kto));
}

} // namespace

TEST_F(TwoBranches, APeriodRunOfOneLeavesTheOthersRowsAlone)
{
    runSqliteScript(local("A1"), rows("A1"));
    runSqliteScript(local("A2"), rows("A2"));
    ASSERT_EQ(run(0), RunEnd::Completed);
    ASSERT_EQ(run(1), RunEnd::Completed);
    for (const char* t : {"GL_BOOK", "PRODLENIE", "REALIZ", "OSTATOK"})
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(t))).toInt(), 2) << t;
    // A1 loses everything of the period at the branch: an empty branch database is no word
    // to empty the period on the main database, so its night run deletes nothing, says so
    // for each kind, and touches none of A2's rows.
    runSqliteScript(local("A1"), QStringLiteral("DELETE FROM GL_BOOK; DELETE FROM PRODLENIE; DELETE FROM REALIZ; DELETE FROM OSTATOK;"));
    ASSERT_EQ(run(0, false), RunEnd::Completed);
    EXPECT_EQ(stations[0]->lastOutcome.end, RunEnd::Completed);
    EXPECT_FALSE(stations[0]->panel().errorMarker().isEmpty()); // the run asks for attention
    EXPECT_EQ(lines.filter(QStringLiteral("Внимание! На ГлС не удалено")).size(), 4) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Внимание! На ГлС не удалено: главная книга с 01.03.2010 по 05.03.2010, в филиале строк нет, на ГлС 1")))
        << lines.join(QLatin1Char('\n')).toStdString();
    for (const char* t : {"GL_BOOK", "PRODLENIE", "REALIZ", "OSTATOK"}) {
        const QString kto = QString::fromLatin1(t) == QLatin1String("GL_BOOK") ? QStringLiteral("G_KTO")
            : QString::fromLatin1(t) == QLatin1String("PRODLENIE") ? QStringLiteral("PRO_KTO")
            : QString::fromLatin1(t) == QLatin1String("REALIZ") ? QStringLiteral("REA_KTO") : QStringLiteral("O_KTO");
        EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2='A2'").arg(QString::fromLatin1(t), kto)).toInt(), 1) << t;
    }
    EXPECT_EQ(mainValue(QStringLiteral("SELECT COUNT(*) FROM GL_BOOK WHERE G_KTO='A1'")).toInt(), 1);
}

TEST_F(TwoBranches, SalesFromOneToTheOtherArriveOnlyThereAndEachStampsItsOwnRow)
{
    runSqliteScript(local("A1"), QStringLiteral("INSERT INTO REALIZ (REA_NID, REA_DATA, REA_NOMER, REA_KTO, REA_NEW_OLD, REA_IMPORT) "
                                                "VALUES ('S1','2010-03-03 00:00:00',1,'A1','NEW','A2');"));
    ASSERT_EQ(run(0), RunEnd::Completed);
    hosts[1]->setNow(QDateTime(QDate(2010, 3, 5), QTime(12, 30)));
    ASSERT_EQ(run(1), RunEnd::Completed);
    EXPECT_EQ(localValue("A2", QStringLiteral("SELECT group_concat(REA_KEY) FROM REALIZ")).toString(), QStringLiteral("A1S1"));
    EXPECT_EQ(localValue("A2", QStringLiteral("SELECT KTO_ACTIV FROM KTO WHERE KTO_KOD='A1'")).toString(), QStringLiteral("НЕТ"));
    ASSERT_EQ(run(0), RunEnd::Completed);
    EXPECT_EQ(localValue("A1", QStringLiteral("SELECT COUNT(*) FROM REALIZ")).toInt(), 1); // its own sale, not an incoming one
    EXPECT_EQ(mainValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD='A1'")).toString(), QStringLiteral("2010-03-05 12:00:00"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD='A2'")).toString(), QStringLiteral("2010-03-05 12:30:00"));
}
