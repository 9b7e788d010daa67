#include "transfer/steps.h"

#include "transfer/transferrun.h"

namespace varid {

namespace {
constexpr BarDef none{Bar::Count, nullptr, nullptr, false};

constexpr std::array<StepDef, kSwitchCount> kSteps{{
    {"Rec_Klient", Switch::Klient, "CB_Klient", "Клиенты",
     {{{Bar::Klient, "PB_Klient", nullptr, true}, none}}, 1,
     &Transfer::Rec_Klient, true, OnFailure::ConnectionLost, true, false, "клиенты"},
    {"Rec_Personal", Switch::Personal, "CB_Personal", "сотрудники",
     {{{Bar::Personal, "PB_Personal", nullptr, true}, none}}, 1,
     &Transfer::Rec_Personal, true, OnFailure::ConnectionLost, true, false, "сотрудники"},
    {"Rec_Bilet", Switch::Bilet, "CB_Bilet", "Билеты",
     {{{Bar::Bilet, "PB_Bilet", nullptr, true}, {Bar::BLine, "PB_BLine", "Билеты строки", true}}}, 2,
     &Transfer::Rec_Bilet, true, OnFailure::ConnectionLost, true, true, "билеты"},
    {"Rec_Prodlenie", Switch::Prodlenie, "CB_Prodlenie", "продление",
     {{{Bar::Prodlen, "PB_Prodlen", nullptr, true}, none}}, 1,
     &Transfer::Rec_Prodlenie, true, OnFailure::ConnectionLost, true, true, "продления"},
    {"Rec_Realiz", Switch::Realiz, "CB_Realiz", "реализация",
     {{{Bar::Real, "PB_Real", nullptr, true}, none}}, 1,
     &Transfer::Rec_Realiz, true, OnFailure::ConnectionLost, true, true, "реализация"},
    {"Rec_Avans", Switch::Avans, "CB_Avans", "авансовый отчет",
     {{{Bar::Avans, "PB_Avans", nullptr, true}, {Bar::AV_Line, "PB_AV_Line", "АО линии", true}}}, 2,
     &Transfer::Rec_Avans, true, OnFailure::ConnectionLost, true, true, "авансовые отчеты"},
    {"Rec_Ostatok", Switch::Ostatok, "CB_Ostatok", "остатки ",
     {{{Bar::Ostatok, "PB_Ostatok", nullptr, true}, none}}, 1,
     &Transfer::Rec_Ostatok, false, OnFailure::ConnectionLost, true, true, "остатки"},
    {"Rec_Terrorist", Switch::Terrorist, "CB_Terrorist", "Список террористов",
     {{{Bar::Terrorist, "PB_Terrorist", nullptr, false}, none}}, 1,
     &Transfer::Rec_Terrorist, true, OnFailure::ConnectionLost, false, false, "список террористов"},
    {"Rec_GL_Book", Switch::GL_Book, "CB_GL_Book", "главная книга",
     {{{Bar::GL_Book, "PB_GL_Book", nullptr, true}, none}}, 1,
     &Transfer::Rec_GL_Book, false, OnFailure::JournalEnd, true, true, "главная книга"},
}};

// The table is indexed by switch as well as walked in order.
constexpr bool inSwitchOrder()
{
    for (int i = 0; i < kSwitchCount; ++i)
        if (int(kSteps[size_t(i)].sw) != i)
            return false;
    return true;
}
static_assert(inSwitchOrder(), "the step table lists the steps in the order of their switches");
} // namespace

const std::array<StepDef, kSwitchCount>& steps() { return kSteps; }

const StepDef& stepOf(Switch s) { return kSteps[size_t(s)]; }

} // namespace varid
