#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>

namespace varid {

// The progress bars of the transfer chain, one or two per step.
enum class Bar { Klient, Personal, Bilet, BLine, Prodlen, Real, Avans, AV_Line, Ostatok, Terrorist, GL_Book };
constexpr int kBarCount = 11;

// The step switches.
enum class Switch { Klient, Personal, Bilet, Prodlenie, Realiz, Avans, Ostatok, Terrorist, GL_Book };
constexpr int kSwitchCount = 9;

// Thrown between two rows when the service is being stopped.
struct RunStopped {};

// Where the time comes from; tests set it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// The run state the steps read and write as they go: the window holds it, tests hold it
// as plain values.
class RunState {
public:
    virtual ~RunState() = default;

    virtual bool incremental() const = 0; // CB_New ticked
    virtual QDate periodFrom() const = 0; // date picker Data_O_C
    virtual QDate periodTo() const = 0;   // date picker Data_O_PO
    // The period start and end texts; the balances step leaves years in them.
    virtual QString periodStart() const = 0;
    virtual QString periodEnd() const = 0;
    virtual void setPeriodTexts(const QString& start, const QString& end) = 0;

    virtual QString branchCode() const = 0; // L_KTO
    virtual bool switchOn(Switch s) const = 0;

    virtual QString errorMarker() const = 0;
    virtual void setErrorMarker(const QString& marker) = 0;
    virtual void addLine(const QString& line) = 0; // to the run log buffer

    virtual void setBarMax(Bar b, int max) = 0;
    virtual void setBarPos(Bar b, int pos) = 0;
    virtual int barPos(Bar b) const = 0;

    // The service is being stopped: the run ends after the row being written.
    virtual bool stopRequested() const { return false; }
};

} // namespace varid
