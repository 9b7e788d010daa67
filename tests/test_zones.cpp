// Dates are calendar dates and wall-clock times with no zone. This binary runs under
// several TZ settings (see CMakeLists.txt): a time that does not exist in the machine's
// zone, or a skipped midnight, must still arrive as it stands, and a null date stays null.
#include "transfer_fixture.h"

#include "data/catalogue.h"

using namespace varid;
using varid::testing::Branch;

namespace {
class Zones : public Branch {
protected:
    void journalOnly() { only(Switch::GL_Book); }
};

QString entry(const char* nid, const char* date, const char* marker = "NEW")
{
    return QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES ('%1', %2, 'F1', '1', 1, '%3');")
        .arg(QString::fromLatin1(nid), date ? QStringLiteral("'%1'").arg(QString::fromLatin1(date)) : QStringLiteral("NULL"),
             QString::fromLatin1(marker));
}
} // namespace

TEST_F(Zones, WallClockTimesArriveAsTheyStandWhateverTheZone)
{
    local(entry("spring", "2026-03-29 02:30:00") + entry("havana", "2026-03-08 00:00:00") + entry("none", nullptr)
          + entry("upd", nullptr));
    main(entry("upd", "2026-01-01 00:00:00", "OLD")); // an update that sets the date to null
    journalOnly();
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty()) << failureLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='spring'")).toString(), QStringLiteral("2026-03-29 02:30:00"));
    EXPECT_EQ(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='havana'")).toString(), QStringLiteral("2026-03-08 00:00:00"));
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='none'")).isNull());
    EXPECT_TRUE(mainValue(QStringLiteral("SELECT G_DATA FROM GL_BOOK WHERE G_NID='upd'")).isNull());
}

TEST_F(Zones, APeriodBoundedByASkippedMidnightSelectsExactlyItsDays)
{
    local(entry("d3", "2026-03-03 00:00:00", "OLD") + entry("d4", "2026-03-04 00:00:00", "OLD") + entry("d8", "2026-03-08 00:00:00", "OLD")
          + entry("d9", "2026-03-09 00:00:00", "OLD"));
    main(entry("d3", "2026-03-03 00:00:00", "OLD") + entry("x8", "2026-03-08 00:00:00", "OLD") + entry("x8b", "2026-03-08 00:00:00", "OLD")
         + entry("x8c", "2026-03-08 00:00:00", "OLD"));
    journalOnly();
    ASSERT_EQ(run(false, QDate(2026, 3, 4), QDate(2026, 3, 8)), RunEnd::Completed);
    // The main database held more entries of the period: they are replaced by the branch's.
    EXPECT_EQ(mainValue(QStringLiteral("SELECT group_concat(G_NID) FROM (SELECT G_NID FROM GL_BOOK ORDER BY G_NID)")).toString(),
              QStringLiteral("d3,d4,d8"));
    EXPECT_EQ(st->panel().bars[size_t(Bar::GL_Book)].max, 2);
}

TEST_F(Zones, TypedNullsOfEveryKindReachTheProcedureAsNulls)
{
    // A ticket with a null in every typed column: date, decimal, float and 16-bit integer.
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_KTO, B_NEW_OLD) VALUES ('B1', 'F1', 'NEW');"));
    only(Switch::Bilet);
    ASSERT_EQ(run(), RunEnd::Completed);
    EXPECT_TRUE(failureLines().isEmpty()) << failureLines().join(QLatin1Char('|')).toStdString();
    for (const char* column : {"B_DATA", "B_SUMMA", "B_NOMER", "B_KOL_DAY", "B_TIP"})
        EXPECT_TRUE(mainValue(QStringLiteral("SELECT %1 FROM BILET WHERE B_NID='B1'").arg(QString::fromLatin1(column))).isNull()) << column;
}
