#pragma once
// A branch F1 on two embedded databases, driven through the station as a run of the
// timers would drive it.
#include "fixture.h"

#include "shell/station.h"
#include "transfer/runcontext.h"
#include "data/catalogue.h"

#include <algorithm>

#include "data/values.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QStringDecoder>

namespace varid::testing {

class Branch : public TwoDatabases {
protected:
    void SetUp() override
    {
        TwoDatabases::SetUp();
        writePathIni(home());
        local(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('F1','Филиал 1','ДА'),('F2','Филиал 2','НЕТ');"
                             "INSERT INTO FIRM (F_NOMER, F_TEL) VALUES (1,'250-15-07');"));
        main(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('F2','Филиал 2','НЕТ'),('F1','Филиал 1','НЕТ');"));
        st = std::make_unique<Station>(home(), host);
        QObject::connect(st.get(), &Station::lineAdded, st.get(), [this](const QString& l) { lines << l; });
        st->formCreate();
        host.afterTick = [this] { if (st) st->waitForRun(); };
    }

    // Connects as the transfer timer does and runs once: incremental, or over a period.
    RunEnd run(bool incremental = true, QDate from = {}, QDate to = {})
    {
        lines.clear();
        if (!st->connectSequence(Station::Variant::Timer))
            ADD_FAILURE() << st->session().connectErrors.join(QLatin1Char(';')).toStdString();
        st->setIncremental(incremental);
        if (from.isValid()) {
            st->setPickers(from, to);
        }
        st->schedule().T1->setEnabled(false); // as after the start countdown's hand-over
        st->arm();
        st->T3Timer();
        st->waitForRun();
        return st->lastOutcome.end;
    }

    // Only these steps' switches ticked, the others not.
    void only(std::initializer_list<Switch> on)
    {
        std::array<bool, kSwitchCount> ticked{};
        for (Switch s : on)
            ticked[size_t(s)] = true;
        st->setSwitches(ticked);
    }
    void only(Switch on) { only({on}); }

    QStringList failureLines() const { return lines.filter(QRegularExpression(QStringLiteral("^Ошибка! "))); }
    QString logText() const
    {
        QFile f(dir_.filePath(QStringLiteral("Logs/2010март5.txt")));
        if (!f.open(QIODevice::ReadOnly)) return QString();
        QStringDecoder dec("windows-1251");
        return dec.decode(f.readAll());
    }

    SimTimerHost host{QDateTime(QDate(2010, 3, 5), QTime(12, 0))};
    std::unique_ptr<Station> st;
    QStringList lines;
};

// Another writer takes the main database when `bar` (any bar: Bar::Count) reaches `pos`: the
// step breaks off there, as at a lock, a full disk or a lost link.
class TakeMainAt : public RunContext {
public:
    TakeMainAt(const RunRequest& r, QString file, Bar bar = Bar::Count, int pos = 2)
        : RunContext(r), file_(std::move(file)), bar_(bar), pos_(pos) {}
    ~TakeMainAt() override
    {
        if (holder_.isOpen()) {
            QSqlQuery(holder_).exec(QStringLiteral("ROLLBACK"));
            holder_.close();
        }
        holder_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("taker"));
    }
    void setBarPos(Bar b, int pos) override
    {
        RunContext::setBarPos(b, pos);
        if ((bar_ != Bar::Count && b != bar_) || pos != pos_ || holder_.isValid())
            return;
        holder_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("taker"));
        holder_.setDatabaseName(file_);
        if (holder_.open())
            QSqlQuery(holder_).exec(QStringLiteral("BEGIN IMMEDIATE"));
    }

private:
    QString file_;
    Bar bar_;
    int pos_;
    QSqlDatabase holder_;
};

} // namespace varid::testing
