#pragma once
#include "transfer/runstate.h"

#include <QStringList>

#include <array>
#include <functional>

namespace varid {

enum class Colour { Default, Green, Maroon, Black };

struct LabelState {
    QString text;
    QString hint;
    Colour background = Colour::Default;
    Colour foreground = Colour::Default;
    bool visible = true;
};


// Everything the main window shows, as plain values: the window mirrors it; the headless
// service and the tests read it as it is. A run takes its request from it when armed and
// reports back through the station.
class Panel {
public:
    Panel();

    QString caption;
    LabelState L_Info, L_Info1, L_KTO, L_Tel, L_GL_IP, L_IP, L_Interval, L_C, L_Po, L_Admin, L_Pass,
        L_Start, L_Kol, L_Pop, L_StartProg;
    int intervalTag = 0; // the tag of L_Interval: minutes
    int startCount = 0;  // the tag of L_Start
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

    // Told of every change; of each line added to the buffer; of each progress move.
    std::function<void()> onChange;
    std::function<void(const QString&)> onLine;
    std::function<void(Bar)> onBar;
    void changed() { if (onChange) onChange(); }

    static int number(const LabelState& l) { return l.text.toInt(); }
    static void addTo(LabelState& l, int n) { l.text = QString::number(l.text.toInt() + n); }

    // What the next run is asked for, and what the last one left.
    bool incremental() const { return CB_New; }
    Period period() const { return Period{Data_O_C, Data_O_PO}; }
    bool switchOn(Switch s) const { return switches[size_t(s)]; }
    QString errorMarker() const { return errorMarker_; }
    void setErrorMarker(const QString& m) { errorMarker_ = m; }
    void addLine(const QString& line);
    void setBarMax(Bar b, int max);
    void setBarPos(Bar b, int pos);
    int barPos(Bar b) const { return bars[size_t(b)].pos; }

private:
    QString errorMarker_;
};

} // namespace varid
