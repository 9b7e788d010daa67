// The main window: every element, its texts, and that it mirrors the station.
#include "fixture.h"

#include "shell/gui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QTextDocument>

#include "reconcile/report.h"
#include "shell/gui/acttable.h"
#include "shell/gui/translations.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QTextFrame>
#include <QTextTable>

#include <QCalendarWidget>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTest>

#include <algorithm>

using namespace varid;

class Window : public varid::testing::TwoDatabases {
protected:
    void SetUp() override
    {
        TwoDatabases::SetUp();
        varid::testing::writePathIni(home());
        local(QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_NAME, KTO_ACTIV) VALUES ('F0007','Седьмой','ДА');"
                             "INSERT INTO FIRM (F_NOMER, F_TEL) VALUES (1,'250-15-07');"));
        st = std::make_unique<Station>(home(), host);
        w = std::make_unique<MainWindow>(*st);
        st->formCreate();
        host.afterTick = [this] { if (st) st->waitForRun(); };
    }
    template <typename T> T* el(const char* name) const
    {
        auto* e = qobject_cast<T*>(w->element(QString::fromLatin1(name)));
        EXPECT_NE(e, nullptr) << name;
        return e;
    }
    SimTimerHost host{QDateTime(QDate(2010, 3, 5), QTime(12, 0))};
    std::unique_ptr<Station> st;
    std::unique_ptr<MainWindow> w;
};

namespace {
// New ledger entries enough for a run long enough to watch: the window takes a run's news,
// then holds 50 ms before taking more, so a run of a few dozen milliseconds shows no step
// between its first news and its end.
constexpr int kWatchedRows = 20000;
QString newLedgerEntries(int n)
{
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < n; ++i)
        sql += QStringLiteral("INSERT INTO GL_BOOK (G_NID, G_DATA, G_KTO, G_STATYS, G_SUMMA, G_NEW_OLD) VALUES ('g%1','2010-03-05 00:00:00','F0007','1',1,'NEW');").arg(i);
    return sql + QStringLiteral("COMMIT;");
}
} // namespace

TEST_F(Window, EveryElementWithItsInitialText)
{
    // As wide as ever; every element inside the window and no two rows of steps overlapping,
    // however many rows the catalogue has.
    EXPECT_EQ(w->width(), 645);
    w->show();
    QVector<QRect> rows;
    for (QWidget* e : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (e->isHidden() && e->objectName() != QStringLiteral("L_LogProblem"))
            continue;
        EXPECT_TRUE(w->rect().contains(e->geometry())) << e->objectName().toStdString();
        if (qobject_cast<QProgressBar*>(e))
            rows << e->geometry();
    }
    std::sort(rows.begin(), rows.end(), [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    ASSERT_EQ(rows.size(), kBarCount + 1); // the steps' bars and the countdown
    for (int i = 1; i < rows.size(); ++i)
        EXPECT_GT(rows[i].top(), rows[i - 1].bottom());
    const struct { const char* name; const char* text; } buttons[] = {
        {"B_Connect", "Передача"}, {"B_Stop", "Стоп"}, {"B_Test", "Test"}, {"B_Akt", "Акт сверки"},
        {"BitBtn1", "Свернуть"}};
    for (const auto& b : buttons)
        if (auto* e = el<QPushButton>(b.name)) {
            EXPECT_EQ(e->text(), QString::fromUtf8(b.text));
        }
    EXPECT_EQ(w->findChild<QPushButton*>(QStringLiteral("B_Del")), nullptr);
    // The last line, the log problem's, lies inside the window.
    EXPECT_LE(w->findChild<QLabel*>(QStringLiteral("L_LogProblem"))->geometry().bottom(), w->height());
    const struct { const char* name; const char* text; bool ticked; } boxes[] = {
        {"CB_New", "Только новое и измененное", true}, {"CB_AutoStart", "Добавить в автозагрузку", true},
        {"CB_Klient", "Клиенты", true}, {"CB_Personal", "сотрудники", true}, {"CB_Bilet", "Билеты", true},
        {"CB_Prodlenie", "продление", true}, {"CB_Realiz", "реализация", true}, {"CB_Avans", "авансовый отчет", true},
        {"CB_Ostatok", "остатки ", true}, {"CB_Terrorist", "Список террористов", false}, {"CB_GL_Book", "главная книга", true}};
    for (const auto& b : boxes)
        if (auto* e = el<QCheckBox>(b.name)) {
            EXPECT_EQ(e->text(), QString::fromUtf8(b.text));
            EXPECT_EQ(e->isChecked(), b.ticked) << b.name;
        }
    for (const char* bar : {"PB_Klient", "PB_Personal", "PB_Bilet", "PB_BLine", "PB_Prodlen", "PB_Real", "PB_Avans",
                            "PB_AV_Line", "PB_Ostatok", "PB_Terrorist", "PB_GL_Book", "PB_Start"})
        el<QProgressBar>(bar);
    EXPECT_EQ(el<QProgressBar>("PB_Start")->maximum(), 60);
    EXPECT_EQ(el<QDateEdit>("Data_O_C")->date(), QDate(2010, 3, 4));
    EXPECT_EQ(el<QDateEdit>("Data_O_PO")->date(), QDate(2010, 3, 5));
    EXPECT_TRUE(el<QPlainTextEdit>("Memo1")->isHidden());
    EXPECT_EQ(el<QLabel>("L_Info")->text(), QStringLiteral("соединение отсутствует"));
    EXPECT_EQ(el<QLabel>("L_Interval")->text(), QStringLiteral("интервал в мин. 30"));
    EXPECT_EQ(el<QLabel>("L_GL_IP")->toolTip(), QStringLiteral("main.db"));
    EXPECT_EQ(el<QLabel>("L_Pass")->text(), QStringLiteral("********"));
    EXPECT_EQ(el<QLabel>("L_Start")->text(), QStringLiteral("запуск"));
    EXPECT_EQ(el<QLabel>("L_Kol")->text(), QStringLiteral("0"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0"));
    EXPECT_TRUE(el<QLabel>("L_Tel")->isHidden());
    EXPECT_TRUE(el<QLabel>("L_KTO")->isHidden());
}

TEST_F(Window, TestButtonConnectsAndShowsTheBranch)
{
    el<QPushButton>("B_Test")->click();
    EXPECT_EQ(el<QLabel>("L_Info")->text(), QStringLiteral("Есть соединение"));
    EXPECT_EQ(el<QLabel>("L_Info1")->text(), QStringLiteral("Есть соединение"));
    EXPECT_TRUE(el<QLabel>("L_Info")->styleSheet().contains(QStringLiteral("rgb(0,128,0)")));
    EXPECT_EQ(el<QLabel>("L_Tel")->text(), QStringLiteral("тел: 250-15-07"));
    EXPECT_FALSE(el<QLabel>("L_Tel")->isHidden());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0  Седьмой"));
    if (const QByteArray shot = qgetenv("VARID_SCREENSHOT"); !shot.isEmpty()) {
        w->show();
        w->grab().save(QString::fromLocal8Bit(shot));
    }
}

TEST_F(Window, ManualRunFromTheButtons)
{
    el<QPushButton>("B_Test")->click();
    el<QCheckBox>("CB_New")->click(); // the user chooses period mode
    EXPECT_FALSE(st->panel().CB_New);
    el<QDateEdit>("Data_O_C")->setDate(QDate(2010, 3, 1));
    el<QPushButton>("B_Connect")->click();
    EXPECT_TRUE(st->schedule().T3->enabled());
    EXPECT_EQ(st->panel().period().startText(), QStringLiteral("01.03.2010"));
    host.advance(1000);
    EXPECT_EQ(el<QLabel>("L_Kol")->text(), QStringLiteral("1"));
    el<QCheckBox>("CB_Klient")->click(); // unticked
    el<QCheckBox>("CB_Bilet")->click();
    el<QCheckBox>("CB_Klient")->click(); // ticked again: ticks the tickets too
    EXPECT_TRUE(el<QCheckBox>("CB_Bilet")->isChecked());
    EXPECT_TRUE(st->panel().switchOn(Switch::Bilet));
}

TEST_F(Window, TheWindowStaysAliveAndShowsProgressDuringARun)
{
    local(newLedgerEntries(kWatchedRows));
    el<QPushButton>("B_Test")->click();
    el<QPushButton>("B_Connect")->click();
    st->T3Timer(); // the run timer's tick, by hand: the run goes on on its own thread
    EXPECT_TRUE(st->running());
    EXPECT_FALSE(el<QPushButton>("B_Connect")->isEnabled()); // nothing else may start meanwhile
    EXPECT_FALSE(el<QPushButton>("B_Akt")->isEnabled());

    int ticks = 0;
    QList<int> seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        ++ticks;
        seen << el<QProgressBar>("PB_GL_Book")->value();
    });
    probe.start(5);
    st->waitForRun();
    probe.stop();

    EXPECT_EQ(st->lastOutcome.end, RunEnd::Completed);
    EXPECT_GT(ticks, 0); // the event loop turned while the run worked
    const int max = el<QProgressBar>("PB_GL_Book")->maximum();
    EXPECT_EQ(max, kWatchedRows);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [max](int v) { return v > 0 && v < max; }))
        << "no intermediate progress among " << seen.size() << " looks";
    EXPECT_TRUE(el<QPushButton>("B_Connect")->isEnabled());
    EXPECT_EQ(el<QLabel>("L_Kol")->text(), QStringLiteral("1"));
}

TEST_F(Window, TheActButtonShowsTheActAndTheCountdownResumes)
{
    QStringList shown, told;
    w->presentAct = [&](QTextDocument& doc) { shown << doc.toPlainText(); };
    w->tellActFailure = [&](const QString& m) { told << m; };
    el<QPushButton>("B_Akt")->click(); // not connected: nothing at all
    EXPECT_TRUE(shown.isEmpty() && told.isEmpty());

    el<QPushButton>("B_Test")->click();
    el<QPushButton>("B_Akt")->click(); // no layout in this home: the failure names the file
    st->waitForRun();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QStringLiteral("Akt_Sverki.RAV")));
    EXPECT_TRUE(st->schedule().T1->enabled());
    EXPECT_EQ(st->schedule().startThreshold, 5);

    QFile layout(QDir(home()).filePath(QStringLiteral("Akt_Sverki.RAV")));
    ASSERT_TRUE(layout.open(QIODevice::WriteOnly));
    layout.write(defaultLayout().toUtf8());
    layout.close();
    el<QPushButton>("B_Akt")->click();
    st->waitForRun();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Акт сверки"))) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("F0007")));
    host.advance(6000); // five seconds of start countdown, then the schedule
    EXPECT_TRUE(st->schedule().T2->enabled());
}

TEST_F(Window, ADateTypedSlowlyStaysAndAClickedBoxStaysAsClicked)
{
    QDateEdit* from = el<QDateEdit>("Data_O_C");
    w->show();
    from->setFocus();
    from->setSelectedSection(QDateTimeEdit::YearSection);
    // "2011", a key at a time, with the window's refresh (every second) between the keys.
    for (const char* key : {"2", "0", "1", "1"}) {
        QTest::keyClicks(from, QString::fromLatin1(key));
        Q_EMIT st->changed();
        host.advance(1000);
    }
    EXPECT_EQ(from->date().year(), 2011);
    EXPECT_EQ(st->panel().Data_O_C.year(), 2011);

    // The program's own change still shows: the night rule moves the pickers.
    st->setPickers(st->panel().Data_O_C, QDate(2010, 3, 4));
    Q_EMIT st->changed();
    EXPECT_EQ(el<QDateEdit>("Data_O_PO")->date(), QDate(2010, 3, 4));

    // A box the program does not change stays as the user clicked it.
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_DIRS", xdg.path().toLocal8Bit());
    w->tellAutostart = [](const QString&, bool) {};
    el<QCheckBox>("CB_AutoStart")->click();
    for (int i = 0; i < 3; ++i) {
        Q_EMIT st->changed();
        host.advance(1000);
    }
    EXPECT_FALSE(el<QCheckBox>("CB_AutoStart")->isChecked());
    el<QCheckBox>("CB_Terrorist")->click();
    Q_EMIT st->changed();
    EXPECT_TRUE(el<QCheckBox>("CB_Terrorist")->isChecked());
}

TEST_F(Window, AStepWithNothingToSendShowsAnEmptyStillBar)
{
    st->showBar(Bar::Prodlen, BarState{0, 0});
    auto* bar = el<QProgressBar>("PB_Prodlen");
    EXPECT_EQ(bar->maximum(), 1); // not 0, which Qt draws as an endless busy bar
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(st->panel().bars[size_t(Bar::Prodlen)].max, 0); // the run state keeps its 0
}

TEST_F(Window, TheCalendarSpeaksRussianWhateverTheSystemLocale)
{
    for (const char* name : {"Data_O_C", "Data_O_PO"}) {
        QDateEdit* d = el<QDateEdit>(name);
        EXPECT_EQ(d->locale().language(), QLocale::Russian);
        ASSERT_NE(d->calendarWidget(), nullptr);
        EXPECT_EQ(d->calendarWidget()->locale().language(), QLocale::Russian);
        EXPECT_EQ(d->displayFormat(), QStringLiteral("dd.MM.yyyy"));
    }
}

TEST_F(Window, SvernutHidesIntoTheTrayAndADoubleClickBringsItBack)
{
    w->show();
    w->trayAvailable = [] { return false; };
    w->hideToTray(); // no notification area: minimized, never hidden
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->trayIcon(), nullptr);
    w->showNormal();

    w->trayAvailable = [] { return true; };
    w->hideToTray();
    EXPECT_FALSE(w->isVisible());
    ASSERT_NE(w->trayIcon(), nullptr);
    EXPECT_EQ(w->trayIcon()->toolTip(), QStringLiteral("Rozor данными"));
    QSystemTrayIcon* icon = w->trayIcon();
    Q_EMIT icon->activated(QSystemTrayIcon::Trigger); // a single click does nothing
    EXPECT_FALSE(w->isVisible());
    Q_EMIT icon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w->isVisible());
    w->hideToTray();
    EXPECT_EQ(w->trayIcon(), icon); // the icon is added once

    // Hidden, the schedule goes on: a run writes its log as usual.
    el<QPushButton>("B_Test")->click();
    el<QPushButton>("B_Connect")->click();
    host.advance(1000);
    EXPECT_EQ(st->panel().L_Kol.text, QStringLiteral("1"));
    EXPECT_TRUE(QFile::exists(QDir(home()).filePath(QStringLiteral("Logs/2010март5.txt"))));
}

TEST(AutostartTest, TheXdgEntryIsWrittenRemovedAndItsFailuresTold)
{
    varid::testing::app();
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_DIRS", (xdg.path() + QStringLiteral(":/etc/xdg")).toLocal8Bit());
    XdgAutostart a;
    const QString entry = xdg.filePath(QStringLiteral("autostart/VaridTiveron.desktop"));
    EXPECT_EQ(a.where(), entry);
    QString error;
    const QString command = Autostart::commandLine(QStringLiteral("/opt/varid/varid"), QStringLiteral("/var/lib/my branch"));
    EXPECT_EQ(command, QStringLiteral("/opt/varid/varid --home \"/var/lib/my branch\""));
    ASSERT_TRUE(a.add(command, error)) << error.toStdString();
    QFile f(entry);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=") + command + QStringLiteral("\n"))) << text.toStdString();
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\nType=Application\n")));
    f.close();
    a.remove();
    EXPECT_FALSE(QFile::exists(entry));
    a.remove(); // not there: no error

    // A folder that cannot be written: the error, no entry.
    QFile blocker(xdg.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_DIRS", blocker.fileName().toLocal8Bit());
    EXPECT_FALSE(a.add(command, error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(Window, TheAutostartBoxAddsAndRemovesAndSaysSo)
{
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_DIRS", xdg.path().toLocal8Bit());
    QStringList told;
    w->tellAutostart = [&](const QString& m, bool failed) { told << (failed ? QStringLiteral("!") : QString()) + m; };
    w->startedHome = home();
    auto* box = el<QCheckBox>("CB_AutoStart");
    EXPECT_TRUE(box->isChecked()); // ticked whatever is registered
    box->click();                  // unticked: removed, although nothing was there
    box->click();                  // ticked: written
    EXPECT_EQ(told, (QStringList{QStringLiteral("Программа удалена из автозапуска"), QStringLiteral("Программа добавленна в автозапуск")}));
    QFile f(xdg.filePath(QStringLiteral("autostart/VaridTiveron.desktop")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(f.readAll()).contains(QStringLiteral("--home ") + home()));

    QFile blocker(xdg.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_DIRS", blocker.fileName().toLocal8Bit());
    told.clear();
    box->click();
    box->click();
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[1].startsWith(QLatin1Char('!'))); // the error, and no success message
}

TEST_F(Window, TheActAsATableShowsTheRecordsBehindAFailureAndRepairsTheDay)
{
    const QString tickets = QStringLiteral(
        "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO, B_NEW_OLD) VALUES "
        "('t1',1,'2010-03-03 00:00:00','открыт',100,'F0007','OLD'),('t2',2,'2010-03-03 00:00:00','открыт',200,'F0007','OLD'),"
        "('t4',4,'2010-03-04 00:00:00','открыт',400,'F0007','OLD');");
    local(tickets);
    main(tickets + QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_ACTIV) VALUES ('F0007','НЕТ');"
                                  "DELETE FROM BILET WHERE B_NID='t1';"
                                  "INSERT INTO BILET (B_NID, B_DATA, B_STATYS, B_SUMMA, B_KTO) VALUES ('t9','2010-03-03 00:00:00','открыт',900,'F0007');"
                                  "UPDATE BILET SET B_SUMMA=250 WHERE B_NID='t2';"));
    el<QPushButton>("B_Test")->click();
    const ActRequest period{QDate(2010, 3, 3), QDate(2010, 3, 4), QStringLiteral("F0007")};
    st->rebuildAct(period, {});
    st->waitForRun();

    ActTable table(*st, period);
    EXPECT_EQ(table.rowCount(), 2);
    table.showOnlyFailures(true);
    ASSERT_EQ(table.rowCount(), 1);
    table.selectRow(0);
    EXPECT_EQ(table.shownDetail().size(), 3);

    QString listed;
    table.confirm = [&](const QString&, const QString& records) { listed = records; return true; };
    table.repairSelected();
    st->waitForRun(); // the repair
    st->waitForRun(); // and the act rebuilt after it
    EXPECT_TRUE(listed.contains(QStringLiteral("t9"))); // the deletion was listed before it happened
    EXPECT_EQ(table.rowCount(), 0); // no failure left
    table.showOnlyFailures(false);
    EXPECT_EQ(table.rowCount(), 2);
}

// ---- What a branch employee met: each defect, shown offscreen -------------------------

// "Выход" in the tray's menu ends the program with the window hidden ("Свернуть" first).
TEST_F(Window, ExitInTheTrayMenuEndsTheProgramWithTheWindowHidden)
{
    w->show();
    w->trayAvailable = [] { return true; };
    w->hideToTray();
    ASSERT_FALSE(w->isVisible());
    QAction* exit = nullptr;
    for (QAction* a : w->trayIcon()->contextMenu()->actions())
        if (a->text() == QStringLiteral("Выход"))
            exit = a;
    ASSERT_NE(exit, nullptr);
    bool ended = false, timedOut = false;
    QTimer::singleShot(0, exit, [exit] { exit->trigger(); });
    QTimer::singleShot(5000, qApp, [&] { timedOut = true; QCoreApplication::exit(1); });
    ended = QCoreApplication::exec() == 0;
    EXPECT_TRUE(ended);
    EXPECT_FALSE(timedOut) << "the event loop kept running: an invisible Varid";
}

// After a repair from the act's table, the act in the preview (and so a file saved from it)
// is the act as XXX now holds it.
TEST_F(Window, TheActAfterARepairHoldsTheNewCounts)
{
    const QString tickets = QStringLiteral(
        "INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO, B_NEW_OLD) VALUES "
        "('t1',1,'2010-03-03 00:00:00','открыт',100,'F0007','OLD'),('t2',2,'2010-03-04 00:00:00','открыт',200,'F0007','OLD');");
    local(tickets);
    main(tickets + QStringLiteral("INSERT INTO KTO (KTO_KOD, KTO_ACTIV) VALUES ('F0007','НЕТ');"
                                  "UPDATE BILET SET B_SUMMA=250 WHERE B_NID='t1'; UPDATE BILET SET B_SUMMA=1 WHERE B_NID='t2';"));
    QFile layout(QDir(home()).filePath(QStringLiteral("Akt_Sverki.RAV")));
    ASSERT_TRUE(layout.open(QIODevice::WriteOnly));
    layout.write(defaultLayout().toUtf8());
    layout.close();
    el<QPushButton>("B_Test")->click();
    st->setPickers(QDate(2010, 3, 3), QDate(2010, 3, 4));
    QStringList before, after, asked;
    w->presentAct = [&](QTextDocument& doc) {
        before << doc.toPlainText();
        auto table = w->actTable(doc, nullptr);
        table->showOnlyFailures(true);
        table->confirm = [&](const QString& question, const QString&) { asked << question; return true; };
        for (int i = 0; i < 2; ++i) {
            table->selectRow(0);
            table->repairSelected();
            st->waitForRun(); // the repair
            st->waitForRun(); // the act rebuilt after it
        }
        after << doc.toPlainText();
        // Rendered as the first time: its cells still padded.
        for (QTextFrame* frame : doc.rootFrame()->childFrames())
            if (auto* t = qobject_cast<QTextTable*>(frame)) {
                EXPECT_GE(t->cellAt(t->rows() - 1, 0).format().toTableCellFormat().leftPadding(), 4.0);
            }
        EXPECT_TRUE(table->statusText().contains(QStringLiteral("отправлено заново"))) << table->statusText().toStdString();
    };
    el<QPushButton>("B_Akt")->click();
    st->waitForRun();
    ASSERT_EQ(before.size(), 1);
    ASSERT_EQ(after.size(), 1);
    EXPECT_TRUE(before[0].contains(QStringLiteral("расхождений: 2"))) << before[0].toStdString();
    EXPECT_TRUE(after[0].contains(QStringLiteral("расхождений: 0"))) << after[0].toStdString();
    // The question names the section by its Russian title.
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].startsWith(QStringLiteral("Отправить на ГлС заново «Билеты» за 03.03.2010?"))) << asked[0].toStdString();
}

// The start-at-logon entry starts the program on its home, quoted as the entry format wants.
TEST_F(Window, TheAutostartEntryCarriesTheQuotedHome)
{
    QTemporaryDir base, xdg;
    const QString spaced = base.filePath(QStringLiteral("филиал 7 $HOME"));
    ASSERT_TRUE(QDir().mkpath(spaced));
    varid::testing::writePathIni(spaced);
    SimTimerHost h2{QDateTime(QDate(2010, 3, 5), QTime(12, 0))};
    Station other(spaced, h2, QStringLiteral("-spaced"));
    MainWindow w2(other);
    qputenv("XDG_CONFIG_DIRS", xdg.path().toLocal8Bit());
    w2.tellAutostart = [](const QString&, bool) {};
    auto* box = w2.findChild<QCheckBox*>(QStringLiteral("CB_AutoStart"));
    box->click();
    box->click();
    QFile f(xdg.filePath(QStringLiteral("autostart/VaridTiveron.desktop")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral(" --home \"") + base.path() + QStringLiteral("/филиал 7 \\\\$HOME\"\n"))) << text.toStdString();
}

// A failed change of the start at logon leaves the box as the system holds the entry.
TEST_F(Window, AFailedAutostartChangeLeavesTheBoxAsTheSystemHoldsIt)
{
    QTemporaryDir xdg;
    QFile blocker(xdg.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_DIRS", blocker.fileName().toLocal8Bit());
    w->tellAutostart = [](const QString&, bool) {};
    auto* box = el<QCheckBox>("CB_AutoStart");
    box->click(); // unticked: nothing there, nothing to remove
    EXPECT_FALSE(box->isChecked());
    box->click(); // ticked, but the entry cannot be written
    EXPECT_FALSE(box->isChecked());
}

// Closing the window during a run: the window says at once that it finishes the current step
// and will close, and takes no more clicks; then it closes.
TEST_F(Window, ClosingDuringARunSaysSoAtOnce)
{
    local(newLedgerEntries(kWatchedRows));
    w->show();
    el<QPushButton>("B_Test")->click();
    el<QPushButton>("B_Connect")->click();
    st->T3Timer();
    ASSERT_TRUE(st->running());
    // Inside the ledger step, which the stop lets finish.
    while (st->running() && st->panel().bars[size_t(Bar::GL_Book)].pos == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_TRUE(st->running());
    QString shown;
    bool stopEnabled = true, switchesEnabled = true;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        if (!shown.isEmpty() || !st->running())
            return;
        auto* l = el<QLabel>("L_LogProblem");
        shown = l->isVisible() ? l->text() : QString();
        stopEnabled = el<QPushButton>("B_Stop")->isEnabled();
        switchesEnabled = el<QCheckBox>("CB_GL_Book")->isEnabled();
    });
    probe.start(1);
    w->close();
    probe.stop();
    EXPECT_FALSE(st->running());
    EXPECT_EQ(shown, MainWindow::closingText());
    EXPECT_FALSE(stopEnabled);
    EXPECT_FALSE(switchesEnabled);
    EXPECT_FALSE(w->isVisible());
}

// One click into a period picker, then the date typed: it takes.
TEST_F(Window, ADateTypedAfterOneClickTakes)
{
    w->show();
    QDateEdit* from = el<QDateEdit>("Data_O_C");
    from->setDate(QDate(2010, 3, 4));
    auto* edit = from->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    // A click on the day, as a mouse does it, and the date typed.
    const QPoint day(edit->fontMetrics().horizontalAdvance(QStringLiteral("0")) + 3, edit->height() / 2);
    QTest::mouseClick(edit, Qt::LeftButton, {}, day);
    QCoreApplication::processEvents();
    QTest::keyClicks(from, QStringLiteral("15.01.2011"));
    EXPECT_EQ(from->date(), QDate(2011, 1, 15));
    EXPECT_EQ(st->panel().Data_O_C, QDate(2011, 1, 15));
    // And as digits alone, into the other picker.
    QDateEdit* to = el<QDateEdit>("Data_O_PO");
    auto* toEdit = to->findChild<QLineEdit*>();
    QTest::mouseClick(toEdit, Qt::LeftButton, {}, day);
    QCoreApplication::processEvents();
    QTest::keyClicks(to, QStringLiteral("20022011"));
    EXPECT_EQ(to->date(), QDate(2011, 2, 20));
}

// Qt's own dialogs (Yes and No, the file and print dialogs) speak Russian.
TEST(Translations, QtsOwnDialogsSpeakRussian)
{
    ASSERT_TRUE(installRussianTranslations()) << "qt6-translations-l10n is not installed";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Да"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&No"), QStringLiteral("&Нет"));
}

// The act's table opens with its last column ("Итог") whole.
TEST_F(Window, TheActTableShowsItsLastColumnWhole)
{
    local(QStringLiteral("INSERT INTO BILET (B_NID, B_NOMER, B_DATA, B_STATYS, B_SUMMA, B_KTO, B_NEW_OLD) VALUES "
                         "('t1',1,'2010-03-03 00:00:00','открыт на очень долгий срок залога',100,'F0007','OLD');"));
    el<QPushButton>("B_Test")->click();
    const ActRequest period{QDate(2010, 3, 3), QDate(2010, 3, 4), QStringLiteral("F0007")};
    st->rebuildAct(period, {});
    st->waitForRun();
    ActTable table(*st, period);
    table.show();
    QCoreApplication::processEvents();
    auto* view = table.findChild<QTableView*>(QStringLiteral("ActRows"));
    ASSERT_NE(view, nullptr);
    const int last = view->model()->columnCount() - 1;
    const int right = view->horizontalHeader()->sectionViewportPosition(last) + view->horizontalHeader()->sectionSize(last);
    EXPECT_LE(right, view->viewport()->width());
    EXPECT_GE(view->horizontalHeader()->sectionSize(last), view->horizontalHeader()->sectionSizeHint(last));
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("LC_ALL"))
        qputenv("LC_ALL", "C.UTF-8");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
