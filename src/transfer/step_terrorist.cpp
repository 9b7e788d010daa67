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
                         QStringLiteral("SELECT * FROM TERRORIST Where T_IIN=") + quoted(list.text(QStringLiteral("T_IIN")))
                             + QStringLiteral(" and T_NAME=") + quoted(list.text(QStringLiteral("T_NAME"))) + QStringLiteral(" "),
                         list, columns);
    }
}

} // namespace varid
