// The chain's terrorist list comes down, whole, while the user keeps "Список террористов"
// ticked. Entries are matched by (T_IIN, T_NAME); nothing is ever deleted at the branch.
#include "transfer/transfer.h"

namespace varid {

void Transfer::Rec_Terrorist()
{
    Query& list = dm2_.Q1;
    RecordCopy::openQuery(list, QStringLiteral("SELECT * FROM TERRORIST Order By T_NAME "));
    state_.setBarMax(Bar::Terrorist, list.rowCount());
    const QStringList columns{QStringLiteral("T_NAME"), QStringLiteral("T_DR"), QStringLiteral("T_IIN"),
                              QStringLiteral("T_PROCHEE"), QStringLiteral("T_NOMER")};
    for (list.first(); !list.eof(); list.next()) {
        state_.setBarPos(Bar::Terrorist, list.recNo());
        copy_.cursorCopy(dm_.ADOC1,
                         Statement(QStringLiteral("SELECT * FROM TERRORIST Where T_IIN=%1 and T_NAME=%2 "),
                                   {list.value(QStringLiteral("T_IIN")), list.value(QStringLiteral("T_NAME"))}),
                         list, columns);
    }
}

} // namespace varid
