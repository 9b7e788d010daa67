#pragma once
// The catalogue of record kinds: one row a step of the transfer chain, in call order, with
// the records it sends as the act compares them. The run, the window's rows, the timers'
// switch lists, --once's summary, the act, --detail, --repair and --help all read it.
//
// Adding a kind: its line in VARID_KINDS below, its row in catalogue.cpp, its step file
// (src/transfer/step_<name>.cpp, defining Transfer::Rec_<name>), its schema lines in db/,
// its tests.
#include <QString>

#include <array>
#include <span>

namespace varid {

// One line a step: its name (the step is Rec_<name>, its switch CB_<name>) and its first
// progress bar; a second bar follows as LINE. The switch and bar enums, the run's step
// members and the catalogue's order all come from this list.
#define VARID_KINDS(STEP, LINE)          \
    STEP(Klient, Klient)                 \
    STEP(Personal, Personal)             \
    STEP(Bilet, Bilet) LINE(BLine)       \
    STEP(Prodlenie, Prodlen)             \
    STEP(Realiz, Real)                   \
    STEP(Avans, Avans) LINE(AV_Line)     \
    STEP(Ostatok, Ostatok)               \
    STEP(Terrorist, Terrorist)           \
    STEP(GL_Book, GL_Book)

#define VARID_KIND_NONE(...)
#define VARID_KIND_SWITCH(name, bar) name,
#define VARID_KIND_BAR(name, bar) bar,
#define VARID_KIND_LINE(bar) bar,

// The step switches, one a step.
enum class Switch { VARID_KINDS(VARID_KIND_SWITCH, VARID_KIND_NONE) Count };
constexpr int kSwitchCount = int(Switch::Count);

// The progress bars, one or two a step.
enum class Bar { VARID_KINDS(VARID_KIND_BAR, VARID_KIND_LINE) Count };
constexpr int kBarCount = int(Bar::Count);

// What a failure outside a step's per-row guard means.
enum class OnFailure {
    ConnectionLost, // the connection-loss line; the run ends, the next attempt retries
    JournalEnd,     // the journal step's own ending: cycle restart and the log flushed
};

struct BarDef {
    Bar bar = Bar::Count;
    const char* name = nullptr;    // PB_Klient
    const char* caption = nullptr; // the row caption of a second bar ("Билеты строки"); null for the first
    bool resetByTimer = true;      // the transfer timer sets it to 0 before every automatic run
};

// One section of the act: a kind's records grouped by day (and a second key) on both
// databases, one act row a local group.
struct ActSection {
    int number = 0;                 // X_KOL
    const char* title = nullptr;    // X_PRIME
    // The group query. %P stands for the period (" Between'01.03.2010' and '05.03.2010' "),
    // %K for the quoted branch code; `mainSql` where the main database's text differs.
    const char* sql = nullptr;
    const char* mainSql = nullptr;
    const char* dateColumn = nullptr;
    const char* nameColumn = nullptr; // the second key; null: none written
    const char* suffix = "";          // after the second key's value in the act
    const char* countColumn = nullptr;
    const char* sumColumn = nullptr;
    Bar bar = Bar::Count;             // two sections of one bar share it, its maximum their sum
    // The drill-down of one group: its records' selection beyond the branch, the second key
    // and the day.
    const char* from = nullptr;       // FROM clause; null: the record's table
    const char* beforeName = "";      // " and G_OTKYDA=C_KOD"
    const char* afterName = "";       // " and G_STATYS='1'"
    const char* afterDay = "";        // " and REA_DATA_REAL IS NULL"
};

// A kind of record the act compares and a repair sends again, by the table it is kept in.
struct RecordDef {
    const char* table = nullptr;      // BILET: the name --repair takes, the main table deletions go to
    const char* title = nullptr;      // the act's section title, for the user ("Билеты")
    std::array<const char*, 3> key{}; // the record key's columns
    const char* number = nullptr;     // shown in the drill-down
    const char* date = nullptr;       // the record's day; null for monthly records
    const char* amount = nullptr;     // weighed in the drill-down
    const char* branch = nullptr;     // the WHERE part that keeps this branch's records (%1: the quoted code)
    // A day's records: those whose `date` or this column falls on it.
    const char* alsoDated = nullptr;
    bool monthly = false;             // balances: a month of a year, not a day
    // Where the branch holds a main-only key on another day, what sets its record "NEW" (%1:
    // the quoted key); null where the key holds the day.
    const char* resend = nullptr;
    std::array<ActSection, 2> sections{};

    int keyCount() const;
    int sectionCount() const;
};

// One row of the catalogue: a step of the chain and what it sends.
struct StepDef {
    Switch sw = Switch::Count;
    const char* name = nullptr;       // Rec_Klient
    const char* switchName = nullptr; // CB_Klient
    const char* caption = nullptr;    // the switch's caption
    std::array<BarDef, 2> bars{};
    bool gated = true;                // the run skips the step when its switch is off; false: the step
                                      // reads its own switch (the journal step ends the run either way)
    OnFailure failure = OnFailure::ConnectionLost;
    bool tickedByTimer = true;        // the transfer timer ticks it before every automatic run
    bool tickedWithClients = false;   // ticking "Клиенты" ticks it too
    const char* summary = nullptr;    // the step's name in --once's summary
    std::array<RecordDef, 2> records{}; // what the act compares of it; none for lists

    int barCount() const;
    int recordCount() const;
};

// The transfer chain, in call order.
std::span<const StepDef> steps();
const StepDef& stepOf(Switch s);

// The record kinds of every step, in chain order; a RecordKind is one of them, null for none.
using RecordKind = const RecordDef*;
std::span<const RecordKind> recordKinds();
// By table name (any letter case); null when there is none.
RecordKind kindByTable(const QString& table);
// The act's section number; null for a section no kind writes.
RecordKind kindOfSection(int section);
// The step that sends a record kind.
const StepDef& stepOf(RecordKind kind);
// "BILET, BILET_LINE, ... or GL_BOOK": the tables --repair takes, for its help and errors.
QString recordTables(const QString& lastSeparator);

} // namespace varid
