#pragma once
#include "transfer/runstate.h"

#include <QStringList>

#include <array>

namespace varid {

enum class Colour { Default, Green, Maroon, Black };

struct LabelState {
    QString text;
    QString hint;
    Colour background = Colour::Default;
    Colour foreground = Colour::Default;
    bool visible = true;
};

// Where a database connection stands, as its status label shows it.
enum class Link { Initial, Connecting, Connected, NotConnected, Taken, BranchUnknown };

// Everything the main window shows, as plain values: the station writes it, the window
// draws it, the headless service and the tests read it. The labels are the window's words
// for the typed state beside them (the links, the counters).
class Panel {
public:
    Panel();

    QString caption;
    LabelState L_Info, L_Info1, L_KTO, L_Tel, L_GL_IP, L_IP, L_Interval, L_C, L_Po, L_Admin, L_Pass,
        L_Start, L_Kol, L_Pop, L_StartProg;
    Link mainLink = Link::Initial;  // L_Info
    Link localLink = Link::Initial; // L_Info1
    int attempts = 0;  // connect attempts, shown in L_Pop
    int transfers = 0; // completed transfers, shown in L_Kol
    BarState PB_Start;
    std::array<BarState, kBarCount> bars;
    bool CB_New = true;
    std::array<bool, kSwitchCount> switches;
    bool CB_AutoStart = true;
    QDate Data_O_C, Data_O_PO;
    QStringList memo{QString()}; // the run log buffer starts with one empty line
    int focusRequests = 0;       // B_Stop takes the focus at every connect attempt
    bool running = false;        // a run is in progress on its own thread
    QString logProblem;          // why the last log write failed; empty when it succeeded

    static int number(const LabelState& l) { return l.text.toInt(); }

    // What the next run is asked for, and what the last one left.
    bool incremental() const { return CB_New; }
    Period period() const { return Period{Data_O_C, Data_O_PO}; }
    bool switchOn(Switch s) const { return switches[size_t(s)]; }
    QString errorMarker() const { return errorMarker_; }
    void setErrorMarker(const QString& m) { errorMarker_ = m; }
    // Adds an entry to the buffer; a line break inside it makes two lines. The lines added.
    QStringList addLine(const QString& line);
    void countAttempt() { L_Pop.text = QString::number(++attempts); }
    void countTransfer() { L_Kol.text = QString::number(++transfers); }

private:
    QString errorMarker_;
};

} // namespace varid
