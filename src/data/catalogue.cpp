#include "data/catalogue.h"

#include <QStringList>

#include <vector>

namespace varid {

namespace {

constexpr StepDef kSteps[] = {
    {.sw = Switch::Klient, .name = "Rec_Klient", .switchName = "CB_Klient", .caption = "Клиенты",
     .bars = {{{Bar::Klient, "PB_Klient"}}},
     .summary = "клиенты"},

    {.sw = Switch::Personal, .name = "Rec_Personal", .switchName = "CB_Personal", .caption = "сотрудники",
     .bars = {{{Bar::Personal, "PB_Personal"}}},
     .summary = "сотрудники"},

    {.sw = Switch::Bilet, .name = "Rec_Bilet", .switchName = "CB_Bilet", .caption = "Билеты",
     .bars = {{{Bar::Bilet, "PB_Bilet"}, {Bar::BLine, "PB_BLine", "Билеты строки"}}},
     .tickedWithClients = true, .summary = "билеты",
     .records = {{
         {.table = "BILET", .title = "Билеты", .key = {"B_NID"}, .number = "B_NOMER", .date = "B_DATA",
          .amount = "B_SUMMA", .branch = "B_KTO=%1",
          .resend = "UpDate BILET Set B_NEW_OLD='NEW' Where B_NID=%1",
          .sections = {{{.number = 1, .title = "Билеты",
                         .sql = "Select B_DATA, B_STATYS, Count(B_STATYS)as B_STATYS_Kol, Sum(B_SUMMA) as B_SUMMA From BILET "
                                "Where B_DATA%Pand B_KTO=%K GROUP By B_STATYS, B_DATA Order By B_STATYS, B_DATA ",
                         .dateColumn = "B_DATA", .nameColumn = "B_STATYS", .countColumn = "B_STATYS_Kol",
                         .sumColumn = "B_SUMMA", .bar = Bar::Bilet}}}},
         {.table = "BILET_LINE", .title = "Билеты строки", .key = {"BL_B_NID", "BL_DATA", "BL_NOMER"},
          .number = "BL_NOMER", .date = "BL_DATA", .amount = "BL_SUMMA",
          .branch = "BL_B_NID in (Select B_NID FROM BILET Where B_KTO=%1)",
          .sections = {{{.number = 2, .title = "Билеты строки",
                         .sql = "Select BL_DATA, Count(BL_NID)as BL_NID_Kol, Sum(BL_SUMMA) as BL_SUMMA From BILET_LINE "
                                "Where BL_DATA%Pand BL_B_NID in (Select B_NID FROM BILET Where B_DATA%Pand B_KTO=%K) "
                                "GROUP By BL_DATA  Order By BL_DATA ",
                         .dateColumn = "BL_DATA", .countColumn = "BL_NID_Kol", .sumColumn = "BL_SUMMA",
                         .bar = Bar::BLine}}}},
     }}},

    {.sw = Switch::Prodlenie, .name = "Rec_Prodlenie", .switchName = "CB_Prodlenie", .caption = "продление",
     .bars = {{{Bar::Prodlen, "PB_Prodlen"}}},
     .tickedWithClients = true, .summary = "продления",
     .records = {{
         {.table = "PRODLENIE", .title = "Продление", .key = {"PRO_DATA", "PRO_B_NID", "PRO_KTO"},
          .number = "PRO_B_NID", .date = "PRO_DATA", .amount = "PRO_SUMMA", .branch = "PRO_KTO=%1",
          .sections = {{{.number = 3, .title = "Продление",
                         .sql = "Select PRO_DATA, Count(PRO_NID)as PRO_NID_Kol, Sum(PRO_SUMMA) as PRO_SUMMA From PRODLENIE "
                                "Where PRO_DATA%Pand PRO_KTO=%K GROUP By PRO_DATA Order By PRO_DATA ",
                         .dateColumn = "PRO_DATA", .countColumn = "PRO_NID_Kol", .sumColumn = "PRO_SUMMA",
                         .bar = Bar::Prodlen}}}},
     }}},

    {.sw = Switch::Realiz, .name = "Rec_Realiz", .switchName = "CB_Realiz", .caption = "реализация",
     .bars = {{{Bar::Real, "PB_Real"}}},
     .tickedWithClients = true, .summary = "реализация",
     .records = {{
         {.table = "REALIZ", .title = "Реализация", .key = {"REA_KEY"}, .number = "REA_NOMER", .date = "REA_DATA",
          .amount = "REA_SSUDA", .branch = "REA_KTO=%1", .alsoDated = "REA_DATA_REAL",
          .resend = "UpDate REALIZ Set REA_NEW_OLD='NEW' Where REA_KEY=%1",
          .sections = {{{.number = 7, .title = "Реализация",
                         .sql = "Select REA_DATA, REA_TIP, Count(REA_NID)as REA_NID_Kol, Sum(REA_SSUDA) as REA_SSUDA From REALIZ "
                                "Where REA_DATA%Pand REA_DATA_REAL IS NULL and REA_KTO=%K "
                                "GROUP By REA_DATA, REA_TIP Order By REA_DATA, REA_TIP ",
                         .mainSql = "Select REA_DATA, REA_TIP, Count(REA_NID)as REA_NID_Kol, Sum(REA_SSUDA) as REA_SSUDA From REALIZ "
                                    "Where REA_DATA%Pand REA_DATA_REAL IS NULL and REA_KTO=%K "
                                    "GROUP By REA_DATA, REA_TIP  Order By REA_DATA, REA_TIP ",
                         .dateColumn = "REA_DATA", .nameColumn = "REA_TIP", .suffix = " в наличии",
                         .countColumn = "REA_NID_Kol", .sumColumn = "REA_SSUDA", .bar = Bar::Real,
                         .afterDay = " and REA_DATA_REAL IS NULL"},
                        {.number = 7, .title = "Реализация",
                         .sql = "Select REA_DATA_REAL, REA_TIP, Count(REA_NID)as REA_NID_Kol, Sum(REA_SSUDA) as REA_SSUDA From REALIZ "
                                "Where REA_DATA_REAL%Pand REA_KTO=%K GROUP By REA_DATA_REAL, REA_TIP Order By REA_DATA_REAL, REA_TIP ",
                         .mainSql = "Select REA_DATA_REAL, REA_TIP, Count(REA_NID)as REA_NID_Kol, Sum(REA_SSUDA) as REA_SSUDA From REALIZ "
                                    "Where REA_DATA_REAL%Pand REA_KTO=%K GROUP By REA_DATA_REAL, REA_TIP  Order By REA_DATA_REAL, REA_TIP",
                         .dateColumn = "REA_DATA_REAL", .nameColumn = "REA_TIP", .suffix = " продано",
                         .countColumn = "REA_NID_Kol", .sumColumn = "REA_SSUDA", .bar = Bar::Real}}}},
     }}},

    {.sw = Switch::Avans, .name = "Rec_Avans", .switchName = "CB_Avans", .caption = "авансовый отчет",
     .bars = {{{Bar::Avans, "PB_Avans"}, {Bar::AV_Line, "PB_AV_Line", "АО линии"}}},
     .tickedWithClients = true, .summary = "авансовые отчеты",
     .records = {{
         {.table = "AVANS", .title = "Авансовые отчеты", .key = {"AV_NID"}, .number = "AV_NOMER", .date = "AV_DATA",
          .amount = "AV_SUM1+AV_SUM2+AV_SUM3", .branch = "AV_KTO=%1",
          .resend = "UpDate AVANS Set AV_NEW_OLD='NEW' Where AV_NID=%1",
          .sections = {{{.number = 8, .title = "Авансовые отчеты",
                         .sql = "Select AV_DATA, AV_STATYS, Count(AV_STATYS)as AV_STATYS_Kol, Sum(AV_SUM1+AV_SUM2+AV_SUM3) as AV_SUMMA "
                                "From AVANS Where AV_DATA%Pand AV_KTO=%K GROUP By AV_STATYS, AV_DATA Order By AV_STATYS, AV_DATA ",
                         .dateColumn = "AV_DATA", .nameColumn = "AV_STATYS", .countColumn = "AV_STATYS_Kol",
                         .sumColumn = "AV_SUMMA", .bar = Bar::Avans}}}},
         // A line's key is its report's: a main-only line of a report the branch keeps sends the report again.
         {.table = "AVANS_LINE", .title = "АО строки", .key = {"AVL_AV_NID", "AVL_NOMER"}, .number = "AVL_NOMER",
          .date = "AVL_DATA", .amount = "AVL_SUMMA", .branch = "AVL_AV_NID in (Select AV_NID FROM AVANS Where AV_KTO=%1)",
          .resend = "UpDate AVANS Set AV_NEW_OLD='NEW' Where AV_NID=%1",
          .sections = {{{.number = 9, .title = "АО строки",
                         .sql = "Select AVL_DATA, Count(AVL_NID)as AVL_NID_Kol, Sum(AVL_SUMMA) as AVL_SUMMA From AVANS_LINE "
                                "Where AVL_DATA%Pand AVL_AV_NID in (Select AV_NID FROM AVANS Where AV_DATA%Pand AV_KTO=%K) "
                                "GROUP By AVL_DATA  Order By AVL_DATA ",
                         .dateColumn = "AVL_DATA", .countColumn = "AVL_NID_Kol", .sumColumn = "AVL_SUMMA",
                         .bar = Bar::AV_Line}}}},
     }}},

    // The balances step derives the months and years of the period itself.
    {.sw = Switch::Ostatok, .name = "Rec_Ostatok", .switchName = "CB_Ostatok", .caption = "остатки ",
     .bars = {{{Bar::Ostatok, "PB_Ostatok"}}},
     .gated = false, .tickedWithClients = true, .summary = "остатки",
     .records = {{
         // Grouped by month: the act's monthly section reads O_MESIC, O_GOD, O_DEBET and O_KREDIT.
         {.table = "OSTATOK", .title = "Остатки месяца", .key = {"O_SCHET", "O_KASSA"}, .number = "O_SCHET",
          .amount = "O_DEBET+O_KREDIT", .branch = "O_KTO=%1", .monthly = true,
          .sections = {{{.number = 10, .title = "Остатки месяца", .bar = Bar::Ostatok}}}},
     }}},

    {.sw = Switch::Terrorist, .name = "Rec_Terrorist", .switchName = "CB_Terrorist", .caption = "Список террористов",
     .bars = {{{Bar::Terrorist, "PB_Terrorist", nullptr, false}}},
     .tickedByTimer = false, .summary = "список террористов"},

    {.sw = Switch::GL_Book, .name = "Rec_GL_Book", .switchName = "CB_GL_Book", .caption = "главная книга",
     .bars = {{{Bar::GL_Book, "PB_GL_Book"}}},
     .gated = false, .failure = OnFailure::JournalEnd, .tickedWithClients = true, .summary = "главная книга",
     .records = {{
         {.table = "GL_BOOK", .title = "Главная книга", .key = {"G_NID"}, .number = "G_NOMER", .date = "G_DATA",
          .amount = "G_SUMMA", .branch = "G_KTO=%1",
          .resend = "UpDate GL_BOOK Set G_NEW_OLD='NEW' Where G_NID=%1",
          .sections = {{{.number = 11, .title = "Главная книга в работе",
                         .sql = "Select G_DATA, C_NAME, Count(G_NID)as G_NID_Kol, Sum(G_SUMMA) as G_SUMMA From GL_BOOK, CHANGE "
                                "Where G_OTKYDA=C_KOD and G_DATA%Pand G_KTO=%K and G_STATYS='1' "
                                "GROUP By C_NAME, G_DATA  Order By C_NAME, G_DATA ",
                         .dateColumn = "G_DATA", .nameColumn = "C_NAME", .countColumn = "G_NID_Kol",
                         .sumColumn = "G_SUMMA", .bar = Bar::GL_Book, .from = "GL_BOOK, CHANGE",
                         .beforeName = " and G_OTKYDA=C_KOD", .afterName = " and G_STATYS='1'"},
                        {.number = 11, .title = "Главная книга удален",
                         .sql = "Select G_DATA, C_NAME, Count(G_NID)as G_NID_Kol, Sum(G_SUMMA) as G_SUMMA From GL_BOOK, CHANGE "
                                "Where G_OTKYDA=C_KOD and G_DATA%Pand G_KTO=%K and G_STATYS='0' "
                                "GROUP By C_NAME, G_DATA  Order By C_NAME, G_DATA ",
                         .dateColumn = "G_DATA", .nameColumn = "C_NAME", .countColumn = "G_NID_Kol",
                         .sumColumn = "G_SUMMA", .bar = Bar::GL_Book, .from = "GL_BOOK, CHANGE",
                         .beforeName = " and G_OTKYDA=C_KOD", .afterName = " and G_STATYS='0'"}}}},
     }}},
};

// The catalogue is indexed by switch as well as walked in order, and names every bar once.
constexpr bool inSwitchOrder()
{
    if (std::size(kSteps) != size_t(kSwitchCount))
        return false;
    int bar = 0;
    for (int i = 0; i < kSwitchCount; ++i) {
        if (int(kSteps[i].sw) != i)
            return false;
        for (const BarDef& b : kSteps[i].bars)
            if (b.name && int(b.bar) != bar++)
                return false;
    }
    return bar == kBarCount;
}
static_assert(inSwitchOrder(), "the catalogue lists one row a line of VARID_KINDS, in its order, with its bars");

const std::vector<RecordKind>& kinds()
{
    static const std::vector<RecordKind> all = [] {
        std::vector<RecordKind> out;
        for (const StepDef& s : kSteps)
            for (const RecordDef& r : s.records)
                if (r.table)
                    out.push_back(&r);
        return out;
    }();
    return all;
}

template <typename T, size_t N>
int countOf(const std::array<T, N>& a, auto present)
{
    int n = 0;
    for (const T& x : a)
        n += present(x) ? 1 : 0;
    return n;
}

} // namespace

int RecordDef::keyCount() const { return countOf(key, [](const char* k) { return k != nullptr; }); }
int RecordDef::sectionCount() const { return countOf(sections, [](const ActSection& s) { return s.number != 0; }); }
int StepDef::barCount() const { return countOf(bars, [](const BarDef& b) { return b.name != nullptr; }); }
int StepDef::recordCount() const { return countOf(records, [](const RecordDef& r) { return r.table != nullptr; }); }

std::span<const StepDef> steps() { return kSteps; }

const StepDef& stepOf(Switch s) { return kSteps[size_t(s)]; }

std::span<const RecordKind> recordKinds() { return kinds(); }

RecordKind kindByTable(const QString& table)
{
    for (RecordKind k : kinds())
        if (table.compare(QLatin1String(k->table), Qt::CaseInsensitive) == 0)
            return k;
    return nullptr;
}

RecordKind kindOfSection(int section)
{
    for (RecordKind k : kinds())
        for (const ActSection& s : k->sections)
            if (s.number != 0 && s.number == section)
                return k;
    return nullptr;
}

const StepDef& stepOf(RecordKind kind)
{
    for (const StepDef& s : kSteps)
        for (const RecordDef& r : s.records)
            if (&r == kind)
                return s;
    Q_ASSERT_X(false, "stepOf", "a record kind outside the catalogue");
    return kSteps[0];
}

QString recordTables(const QString& lastSeparator)
{
    QStringList names;
    for (RecordKind k : kinds())
        names << QString::fromLatin1(k->table);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + lastSeparator + last;
}

} // namespace varid
