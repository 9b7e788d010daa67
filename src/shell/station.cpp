#include "shell/station.h"

#include "data/values.h"

#include <algorithm>
#include <limits>

namespace varid {

const QString Station::kConnected = QStringLiteral("Есть соединение");

namespace {
const QString kNotConnected = QStringLiteral("Cоединение отсутствует"); // Latin C, then Cyrillic
const QString kConnecting = QStringLiteral("Соединение");
const QString kCaptionTest = QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0  ");
const QString kCaptionTimer = QStringLiteral("Rozor данными между серверами. Программа Тиверон.  ");
} // namespace

Station::Station(const QString& home, TimerHost& host) : dm2(dm), home_(home), host_(host)
{
    T1 = host.createTimer(1000);
    T2 = host.createTimer(0);
    T3 = host.createTimer(1000);
    T4 = host.createTimer(1000);
    T1->onTick = [this] { T1Timer(); };
    T2->onTick = [this] { T2Timer(); };
    T3->onTick = [this] { T3Timer(); };
    T4->onTick = [this] { T4Timer(); };
}

void Station::formCreate()
{
    panel.L_StartProg.text = QStringLiteral("Включено ") + host_.now().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    countdown = 0;
    ini = PathIni::load(home_);
    auto tell = [this](const QString& m) { if (onMessage) onMessage(m); };
    for (const QString& m : ini.messages)
        tell(m);
    if (!ini.usable) {
        panel.changed();
        return;
    }
    panel.L_GL_IP.text = ini.value(PathIni::GLServerIP);
    panel.L_GL_IP.hint = ini.value(PathIni::GLAliasName);
    panel.L_IP.text = ini.value(PathIni::ServerName);
    panel.L_IP.hint = ini.value(PathIni::LocalAliasName);
    panel.L_Interval.text = QStringLiteral("интервал в мин. ") + ini.value(PathIni::Interval);
    QString message;
    int interval = 0;
    if (!toInteger(ini.value(PathIni::Interval), interval, message)) {
        tell(message);
        panel.changed();
        return;
    }
    panel.intervalTag = interval;
    panel.L_C.text = QStringLiteral("начало передачи в ") + ini.value(PathIni::TimeOpen);
    panel.L_C.hint = ini.value(PathIni::TimeOpen);
    panel.L_Po.text = QStringLiteral("конец передачи в ") + ini.value(PathIni::TimeClose);
    panel.L_Po.hint = ini.value(PathIni::TimeClose);
    panel.L_Admin.text = ini.value(PathIni::AdminName);
    password = ini.value(PathIni::AdminPass);
    // Shown masked: the window of an unattended branch PC must not show the main password.
    panel.L_Pass.text = password.isEmpty() ? QString() : QStringLiteral("********");
    int start = 0;
    if (!toInteger(ini.value(PathIni::Start), start, message)) {
        tell(message);
        panel.changed();
        return;
    }
    startThreshold = start;
    panel.PB_Start.max = start;
    T1->setEnabled(true);
    panel.Data_O_PO = host_.now().date();
    panel.Data_O_C = panel.Data_O_PO.addDays(-1);
    T2->setInterval(intervalMs());
    panel.changed();
}

int Station::intervalMs() const
{
    const qint64 ms = qint64(panel.intervalTag) * 60 * 1000;
    return int(std::clamp<qint64>(ms, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool Station::bothConnected() const
{
    return panel.L_Info.text == kConnected && panel.L_Info1.text == kConnected;
}

bool Station::connectSequence(Variant v)
{
    const bool timer = v == Variant::Timer;
    connectErrors.clear();
    if (timer)
        Panel::addTo(panel.L_Pop, 1);
    panel.L_Info.text = kConnecting;
    ++panel.focusRequests;
    panel.changed();

    try {
        const QString server = panel.L_IP.text;
        const QString database = panel.L_IP.hint;
        dm.ADOC1.disconnect();
        dm.ADOC1.setConnectionString(localConnectionString(database, server),
                                     ConnectionSettings{server, database, QString(), QString(), true}, home_);
        dm.ADOC1.connect();
        panel.L_Info1.text = kConnected;
        panel.L_Info1.background = Colour::Green;
        if (timer)
            panel.L_Info1.foreground = Colour::Maroon;

        // The branch's identity. A locate that finds nothing leaves the first row current.
        dm.T_KTO.open();
        dm.T_KTO.locate(QStringLiteral("KTO_ACTIV"), QStringLiteral("ДА"));
        panel.L_KTO.text = dm.T_KTO.text(QStringLiteral("KTO_KOD"));
        panel.caption = (timer ? kCaptionTimer : kCaptionTest) + dm.T_KTO.text(QStringLiteral("KTO_NAME"));
        dm.T_KTO.close();
        dm.T_FIRMA.open();
        dm.T_FIRMA.locate(QStringLiteral("F_NOMER"), 1);
        panel.L_Tel.text = QStringLiteral("тел: ") + dm.T_FIRMA.text(QStringLiteral("F_TEL"));
        panel.L_Tel.visible = true;
        dm.T_FIRMA.close();
    } catch (const DbError& e) {
        connectErrors << QStringLiteral("local: ") + e.message();
        panel.L_Info1.text = kNotConnected;
        panel.L_Info1.background = Colour::Maroon;
        if (timer)
            panel.L_Info1.foreground = Colour::Black;
        ++panel.focusRequests;
        panel.changed();
        return false;
    }

    try {
        if (!timer)
            dm.T_NASTROIKA.open(); // left open
        const QString server = panel.L_GL_IP.text;
        const QString database = panel.L_GL_IP.hint;
        const QString user = panel.L_Admin.text;
        dm2.ADOC2.disconnect();
        dm2.ADOC2.setConnectionString(mainConnectionString(password, user, database, server),
                                      ConnectionSettings{server, database, user, password, false}, home_);
        dm2.ADOC2.connect();
        panel.L_Info.text = kConnected;
        panel.L_Info.background = Colour::Green;
        panel.L_Info.foreground = Colour::Maroon;
    } catch (const DbError& e) {
        connectErrors << QStringLiteral("main: ") + e.message();
        panel.L_Info.text = kNotConnected;
        panel.L_Info.background = Colour::Maroon;
        panel.L_Info.foreground = Colour::Black;
        ++panel.focusRequests;
    }
    panel.changed();
    return bothConnected();
}

void Station::B_ConnectClick()
{
    Panel::addTo(panel.L_Pop, 1);
    if (bothConnected()) {
        for (BarState& b : panel.bars)
            b.pos = 0;
        T2->setEnabled(false);
        panel.setPeriodTexts(shortDate(panel.Data_O_C), shortDate(panel.Data_O_PO));
        T3->setEnabled(true);
    }
    panel.changed();
}

void Station::B_StopClick()
{
    T1->setEnabled(false);
    T2->setEnabled(false);
    T3->setEnabled(false);
}

void Station::setSwitch(Switch s, bool on)
{
    bool& box = panel.switches[size_t(s)];
    if (box == on)
        return;
    box = on;
    if (s == Switch::Klient)
        CB_KlientClick();
    panel.changed();
}

void Station::CB_KlientClick()
{
    if (!panel.switches[size_t(Switch::Klient)])
        return;
    for (Switch s : {Switch::Bilet, Switch::Prodlenie, Switch::Realiz, Switch::Avans, Switch::Ostatok, Switch::GL_Book})
        panel.switches[size_t(s)] = true;
}

void Station::T1Timer()
{
    if (panel.startCount >= startThreshold) {
        T1->setEnabled(false);
        countdown = 0;
        T2->setEnabled(true);
        panel.PB_Start.max = T2->interval() / 1000;
        T4->setEnabled(true);
    }
    ++panel.startCount;
    panel.L_Start.text = QStringLiteral("запуск через ") + QString::number(startThreshold - panel.startCount + 1)
        + QStringLiteral(" сек.");
    panel.PB_Start.pos = panel.startCount;
    panel.changed();
}

void Station::T4Timer()
{
    const double left = T2->interval() / 1000.0 - countdown;
    panel.L_Start.text = QStringLiteral("передача через ") + QString::number(left, 'g', 15) + QStringLiteral(" сек.");
    ++countdown;
    panel.PB_Start.pos = countdown;
    panel.changed();
}

void Station::T2Timer()
{
    if (!connectSequence(Variant::Timer))
        return;
    for (Bar b : {Bar::Klient, Bar::Personal, Bar::Bilet, Bar::BLine, Bar::Prodlen, Bar::Real, Bar::Avans,
                  Bar::AV_Line, Bar::Ostatok, Bar::GL_Book})
        panel.bars[size_t(b)].pos = 0; // PB_Terrorist keeps its position
    T2->setEnabled(false);

    // Night is after 23:30 and before 02:00: the five complete days before today go again.
    const QDateTime now = host_.now();
    const QTime t = now.time();
    if (t > QTime(23, 30) || t < QTime(2, 0)) {
        panel.Data_O_PO = now.date().addDays(-1);
        panel.Data_O_C = now.date().addDays(-5);
        panel.CB_New = false;
    } else {
        panel.CB_New = true;
    }
    for (Switch s : {Switch::Klient, Switch::Personal, Switch::Bilet, Switch::Prodlenie, Switch::Realiz,
                     Switch::Avans, Switch::Ostatok, Switch::GL_Book})
        setSwitch(s, true);
    host_.sleep(500);
    panel.setPeriodTexts(shortDate(panel.Data_O_C), shortDate(panel.Data_O_PO));
    T3->setEnabled(true);
    T4->setEnabled(true);
    panel.changed();
}

void Station::cycleRestart()
{
    countdown = 0;
    T2->setEnabled(true);
    T4->setEnabled(true);
    T1->setEnabled(true);
    T2->setInterval(intervalMs());
    startThreshold = 0;
    panel.startCount = 0;
}

void Station::T3Timer()
{
    const QDateTime now = host_.now();
    runLog.setPaths(home_, now.date());
    panel.setErrorMarker(QString());
    runLog.flush(panel.memo, panel.errorMarker()); // what an aborted run left goes first
    panel.addLine(runLine(QString::fromUtf8(kRunStartLead), now));

    Transfer transfer(dm, dm2, panel, host_);
    lastOutcome = transfer.run();
    switch (lastOutcome.end) {
    case RunEnd::Completed:
        cycleRestart();
        Panel::addTo(panel.L_Kol, 1);
        runLog.flush(panel.memo, panel.errorMarker());
        break;
    case RunEnd::JournalLost:
        cycleRestart();
        runLog.flush(panel.memo, panel.errorMarker());
        break;
    case RunEnd::ConnectionLost:
        countdown = 0;
        T2->setEnabled(true);
        T4->setEnabled(true);
        break;
    case RunEnd::Stopped:
        runLog.flush(panel.memo, panel.errorMarker()); // the run's lines stay in the log
        break;
    }
    T3->setEnabled(false);
    T4->setEnabled(false);
    panel.changed();
    if (onRunEnded)
        onRunEnded(lastOutcome);
}

} // namespace varid
