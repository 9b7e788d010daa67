#pragma once
#include "transfer/runstate.h"

#include <array>

namespace varid {

class Transfer;

// What a failure outside a step's per-row guard means.
enum class OnFailure {
    ConnectionLost, // the connection-loss line; the run ends, the next attempt retries
    JournalEnd,     // the journal step's own ending: cycle restart and the log flushed
};

struct BarDef {
    Bar bar;
    const char* name;    // PB_Klient
    const char* caption; // the row caption of a second bar ("Билеты строки"); null for the first
    bool resetByTimer;   // the transfer timer sets it to 0 before every automatic run
};

// One row of the transfer chain.
struct StepDef {
    const char* name;       // Rec_Klient
    Switch sw;
    const char* switchName; // CB_Klient
    const char* caption;    // the switch's caption
    std::array<BarDef, 2> bars;
    int barCount;
    void (Transfer::*run)();
    bool gated;             // the run skips the step when its switch is off; false: the step
                            // reads its own switch (balances derive the years first, the
                            // journal step ends the run either way)
    OnFailure failure;
    bool tickedByTimer;     // the transfer timer ticks it before every automatic run
    bool tickedWithClients; // ticking "Клиенты" ticks it too
    const char* summary;    // the step's name in --once's summary
};

// The transfer chain, in call order. Adding a step: its file, its row here, its tests.
const std::array<StepDef, kSwitchCount>& steps();

const StepDef& stepOf(Switch s);

} // namespace varid
