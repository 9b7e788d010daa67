// The chain's terrorist list comes down, whole, while the user keeps "Список террористов"
// ticked. Entries are matched by (T_IIN, T_NAME); nothing is ever deleted at the branch.
#include "transfer/transfer.h"

using namespace Qt::StringLiterals;

namespace varid {

void Transfer::Rec_Terrorist()
{
    Query& list = dm2_.Q1;
    RecordCopy::openQuery(list, u"SELECT * FROM TERRORIST Order By T_NAME "_s);
    state_.setBarMax(Bar::Terrorist, list.rowCount());
    const QStringList columns{u"T_NAME"_s, u"T_DR"_s, u"T_IIN"_s,
                              u"T_PROCHEE"_s, u"T_NOMER"_s};
    for (list.first(); !list.eof(); list.next()) {
        state_.setBarPos(Bar::Terrorist, list.recNo());
        copy_.cursorCopy(dm_.ADOC1,
                         Statement(u"SELECT * FROM TERRORIST Where T_IIN=%1 and T_NAME=%2 "_s,
                                   {list.value(u"T_IIN"_s), list.value(u"T_NAME"_s)}),
                         list, columns);
    }
}

} // namespace varid
