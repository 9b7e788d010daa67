#include "shell/gui/mainwindow.h"

#include "reconcile/report.h"
#include "shell/gui/acttable.h"
#include "data/catalogue.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QCalendarWidget>
#include <QIcon>
#include <QCoreApplication>
#include <QLocale>
#include <QMenu>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTextDocument>
#include <QToolBar>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

// The window's resources live in a static library: registered once, outside the namespace.
static void initGuiResources() { Q_INIT_RESOURCE(gui); }

namespace varid {

namespace {
QString css(Colour c)
{
    switch (c) {
    case Colour::Green: return QStringLiteral("rgb(0,128,0)");
    case Colour::Maroon: return QStringLiteral("rgb(128,0,0)");
    case Colour::Black: return QStringLiteral("rgb(0,0,0)");
    default: return QString();
    }
}

} // namespace

QLabel* MainWindow::label(const QString& name, const QString& text)
{
    auto* l = new QLabel(text, this);
    if (!name.isEmpty()) {
        l->setObjectName(name);
        // A label the program writes to does not widen the window with its text.
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    l->setMinimumHeight(18);
    return l;
}

MainWindow::MainWindow(Station& st, QWidget* parent) : QWidget(parent), st_(st)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    initGuiResources();
    setWindowIcon(QIcon(QStringLiteral(":/gui/varid.png")));
    QFont f = font();
    f.setPointSize(8);
    setFont(f);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 8, 15, 8);
    page->setSpacing(4);

    // Connections and configuration: captions and values on the left, the status on the right.
    auto* config = new QGridLayout;
    config->setHorizontalSpacing(5);
    config->setVerticalSpacing(4);
    config->setColumnMinimumWidth(0, 130);
    config->setColumnMinimumWidth(1, 175);
    config->setColumnMinimumWidth(2, 70);
    config->setColumnStretch(3, 1);
    L_StartProg = label(QStringLiteral("L_StartProg"), QString());
    config->addWidget(L_StartProg, 0, 0, 1, 4);
    L_GL_IP = label(QStringLiteral("L_GL_IP"), QString());
    L_IP = label(QStringLiteral("L_IP"), QString());
    L_Admin = label(QStringLiteral("L_Admin"), QString());
    L_Pass = label(QStringLiteral("L_Pass"), QString());
    const std::pair<const char*, QLabel*> left[] = {
        {"IP главного сервера", L_GL_IP}, {"Имя сервера", L_IP}, {"Логин ГлС", L_Admin}, {"Пароль", L_Pass}};
    for (int row = 0; row < 4; ++row) {
        config->addWidget(label({}, QString::fromUtf8(left[row].first)), row + 1, 0);
        config->addWidget(left[row].second, row + 1, 1);
    }
    L_Info = label(QStringLiteral("L_Info"), QString());
    L_Info1 = label(QStringLiteral("L_Info1"), QString());
    L_Tel = label(QStringLiteral("L_Tel"), QString());
    L_C = label(QStringLiteral("L_C"), QString());
    L_Po = label(QStringLiteral("L_Po"), QString());
    config->addWidget(label({}, QStringLiteral("ГлС")), 1, 2);
    config->addWidget(L_Info, 1, 3, Qt::AlignLeft);
    config->addWidget(label({}, QStringLiteral("Локальный")), 2, 2);
    config->addWidget(L_Info1, 2, 3, Qt::AlignLeft);
    config->addWidget(L_Tel, 3, 2, 1, 2);
    auto* hours = new QHBoxLayout;
    hours->setSpacing(0);
    hours->addWidget(L_C, 1);
    hours->addWidget(L_Po, 1);
    config->addLayout(hours, 4, 2, 1, 2);
    L_Interval = label(QStringLiteral("L_Interval"), QString());
    config->addWidget(L_Interval, 5, 0, 1, 2);
    L_KTO = label(QStringLiteral("L_KTO"), QString());
    L_KTO->hide();
    config->addWidget(L_KTO, 5, 2, 1, 2);
    page->addLayout(config);
    page->addSpacing(6);

    // The steps, as the catalogue lists them: a switch and a progress bar each; a kind's
    // second bar (ticket lines, report lines) under it, captioned. The window grows with them.
    auto* stepsGrid = new QGridLayout;
    stepsGrid->setHorizontalSpacing(10);
    stepsGrid->setVerticalSpacing(6);
    stepsGrid->setColumnMinimumWidth(0, 180);
    stepsGrid->setColumnStretch(1, 1);
    int row = 0;
    auto addBar = [&](Bar b, const char* name) {
        auto* p = new QProgressBar(this);
        p->setObjectName(QString::fromLatin1(name));
        p->setFixedHeight(18);
        p->setTextVisible(false);
        bars_[size_t(b)] = p;
        stepsGrid->addWidget(p, row++, 1);
    };
    for (const StepDef& step : steps()) {
        auto* cb = new QCheckBox(QString::fromUtf8(step.caption), this);
        cb->setObjectName(QString::fromLatin1(step.switchName));
        cb->setMinimumHeight(20);
        switches_[size_t(step.sw)] = cb;
        const Switch sw = step.sw;
        connect(cb, &QCheckBox::clicked, this, [this, sw](bool on) {
            shown_.switches[size_t(sw)] = on;
            st_.setSwitch(sw, on);
        });
        stepsGrid->addWidget(cb, row, 0);
        addBar(step.bars[0].bar, step.bars[0].name);
        for (int i = 1; i < step.barCount(); ++i) {
            QLabel* caption = label({}, QString::fromUtf8(step.bars[size_t(i)].caption));
            caption->setContentsMargins(20, 0, 0, 0);
            stepsGrid->addWidget(caption, row, 0);
            addBar(step.bars[size_t(i)].bar, step.bars[size_t(i)].name);
        }
    }
    page->addLayout(stepsGrid);
    page->addSpacing(8);

    // Period and mode.
    auto* periodRow = new QHBoxLayout;
    periodRow->setSpacing(5);
    periodRow->addWidget(label({}, QStringLiteral("c")));
    Data_O_C = new QDateEdit(this);
    Data_O_C->setObjectName(QStringLiteral("Data_O_C"));
    Data_O_PO = new QDateEdit(this);
    Data_O_PO->setObjectName(QStringLiteral("Data_O_PO"));
    for (QDateEdit* d : {Data_O_C, Data_O_PO}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setFixedSize(100, 22);
    }
    periodRow->addWidget(Data_O_C);
    periodRow->addSpacing(5);
    periodRow->addWidget(label({}, QStringLiteral("по")));
    periodRow->addWidget(Data_O_PO);
    periodRow->addSpacing(10);
    CB_New = new QCheckBox(QStringLiteral("Только новое и измененное"), this);
    CB_New->setObjectName(QStringLiteral("CB_New"));
    periodRow->addWidget(CB_New);
    periodRow->addStretch(1);
    page->addLayout(periodRow);
    // The program's language is Russian whatever the system's: the pickers and their calendar.
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    for (QDateEdit* d : {Data_O_C, Data_O_PO}) {
        d->setLocale(russian);
        if (d->calendarWidget())
            d->calendarWidget()->setLocale(russian);
    }
    // One click into a picker and typing a date works (see eventFilter).
    for (QDateEdit* d : {Data_O_C, Data_O_PO}) {
        d->installEventFilter(this);
        if (auto* edit = d->findChild<QLineEdit*>())
            edit->installEventFilter(this);
    }
    // What the user enters flows into the run state; the window's refresh leaves it alone.
    connect(Data_O_C, &QDateEdit::dateChanged, this, [this](QDate d) { st_.setPickers(shown_.from = d, st_.panel().Data_O_PO); });
    connect(Data_O_PO, &QDateEdit::dateChanged, this, [this](QDate d) { st_.setPickers(st_.panel().Data_O_C, shown_.to = d); });
    connect(CB_New, &QCheckBox::clicked, this, [this](bool on) { st_.setIncremental(shown_.incremental = on); });
    page->addSpacing(8);

    // Buttons.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(5);
    auto button = [&](const char* name, const QString& text, int w) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(w, 26);
        buttons->addWidget(b);
        return b;
    };
    B_Connect = button("B_Connect", QStringLiteral("Передача"), 90);
    B_Stop = button("B_Stop", QStringLiteral("Стоп"), 90);
    B_Test = button("B_Test", QStringLiteral("Test"), 70);
    B_Akt = button("B_Akt", QStringLiteral("Акт сверки"), 100);
    buttons->addStretch(1);
    BitBtn1 = button("BitBtn1", QStringLiteral("Свернуть"), 90);
    page->addLayout(buttons);
    connect(B_Connect, &QPushButton::clicked, this, [this] { st_.B_ConnectClick(); });
    connect(B_Stop, &QPushButton::clicked, this, [this] { st_.B_StopClick(); });
    connect(B_Test, &QPushButton::clicked, this, [this] { st_.B_TestClick(); });
    connect(B_Akt, &QPushButton::clicked, this, [this] { st_.B_AktClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { hideToTray(); });
    page->addSpacing(10);

    // Countdown and counters.
    auto* countdown = new QHBoxLayout;
    countdown->setSpacing(10);
    L_Start = label(QStringLiteral("L_Start"), QString());
    L_Start->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    L_Start->setFixedWidth(180);
    PB_Start = new QProgressBar(this);
    PB_Start->setObjectName(QStringLiteral("PB_Start"));
    PB_Start->setFixedHeight(18);
    PB_Start->setTextVisible(false);
    countdown->addWidget(L_Start);
    countdown->addWidget(PB_Start, 1);
    page->addLayout(countdown);
    page->addSpacing(8);
    auto* counters = new QHBoxLayout;
    counters->setSpacing(5);
    L_Kol = label(QStringLiteral("L_Kol"), QString());
    L_Pop = label(QStringLiteral("L_Pop"), QString());
    for (QLabel* counter : {L_Kol, L_Pop}) {
        counter->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        counter->setFixedWidth(60);
    }
    counters->addWidget(label({}, QStringLiteral("Кол-во передач")));
    counters->addWidget(L_Kol);
    counters->addWidget(label({}, QStringLiteral("попыток")));
    counters->addWidget(L_Pop);
    counters->addStretch(1);
    CB_AutoStart = new QCheckBox(QStringLiteral("Добавить в автозагрузку"), this);
    CB_AutoStart->setObjectName(QStringLiteral("CB_AutoStart"));
    counters->addWidget(CB_AutoStart);
    page->addLayout(counters);
    connect(CB_AutoStart, &QCheckBox::clicked, this, [this](bool on) { autostartClicked(on); });
    // Shown only when the day log or Errors.txt could not be written: no box to click away.
    // Its line is kept while hidden, so the window does not jump when it appears.
    L_LogProblem = label(QStringLiteral("L_LogProblem"), QString());
    L_LogProblem->setStyleSheet(QStringLiteral("color:rgb(128,0,0);"));
    QSizePolicy keep = L_LogProblem->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    L_LogProblem->setSizePolicy(keep);
    L_LogProblem->hide();
    page->addWidget(L_LogProblem);
    // As wide as ever; as high as the catalogue's rows make it.
    setFixedSize(645, page->sizeHint().height());

    // Hidden: the run log buffer.
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->hide();

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    presentAct = [this](QTextDocument& doc) { previewAct(doc); };
    tellActFailure = [this](const QString& m) { QMessageBox::warning(this, QStringLiteral("Акт сверки"), m); };
    connect(&st_, &Station::actBuilt, this, [this](const RunOutcome& built) { printAct(built); });
    tellAutostart = [this](const QString& m, bool failed) {
        if (failed)
            QMessageBox::warning(this, QStringLiteral("Rozor"), m);
        else
            QMessageBox::information(this, QStringLiteral("Rozor"), m);
    };
    autostart = Autostart::forThisSystem();
    startedHome = st_.home(); // absolute: the entry starts the program on this same home
    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    for (size_t i = 0; i < shown_.switches.size(); ++i)
        shown_.switches[i] = !st_.panel().switches[i]; // so that the first refresh shows them
    shown_.incremental = !st_.panel().CB_New;
    CB_AutoStart->setChecked(true); // ticked whatever is registered
    connect(&st_, &Station::changed, this, [this] { refresh(); });
    connect(&st_, &Station::barMoved, this, [this](Bar b) { showBar(b); });
    refresh();
}

void MainWindow::renderActInto(QTextDocument& doc)
{
    const ActRequest request = st_.pickedAct();
    const QString html = renderAct(loadLayout(st_.home()), Act::header(st_.dm(), request, st_.host().now()), Act::printSet(st_.dm()));
    fillActDocument(doc, html, layoutPath(st_.home()));
}

std::unique_ptr<ActTable> MainWindow::actTable(QTextDocument& doc, QWidget* parent)
{
    auto t = std::make_unique<ActTable>(st_, st_.pickedAct(), parent);
    t->afterRepair = [this, &doc] {
        try {
            renderActInto(doc);
        } catch (const DbError& e) {
            tellActFailure(QStringLiteral("Акт сверки не обновлен: ") + e.message());
        }
    };
    return t;
}

void MainWindow::printAct(const RunOutcome& built)
{
    try {
        if (built.end != RunEnd::Completed)
            throw DbError(built.error);
        const QString layout = loadLayout(st_.home());
        const ActRequest request = st_.pickedAct();
        const QString html = renderAct(layout, Act::header(st_.dm(), request, st_.host().now()), Act::printSet(st_.dm()));
        auto doc = actDocument(html, layoutPath(st_.home()));
        presentAct(*doc);
    } catch (const DbError& e) {
        // The schedule resumes all the same (the station does that after this returns).
        tellActFailure(QStringLiteral("Акт сверки не напечатан: ") + e.message());
    }
}

void MainWindow::previewAct(QTextDocument& doc)
{
    QPrintPreviewDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Report Preview"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&doc](QPrinter* printer) {
        printer->setDocName(QStringLiteral("ReportPrinter Report")); // the print job's title
        doc.print(printer);
    });
    QPrintPreviewWidget* view = dialog.findChild<QPrintPreviewWidget*>();
    if (view) {
        view->setZoomMode(QPrintPreviewWidget::CustomZoom);
        view->setZoomFactor(1.0);
    }
    // File output besides the printer's PDF: HTML, plain text and an ODF document; and the
    // act as a table, with the records behind a failing row.
    if (auto* bar = dialog.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* table = bar->addAction(QStringLiteral("Таблица расхождений…"));
        connect(table, &QAction::triggered, &dialog, [this, &dialog, &doc, view] {
            auto t = actTable(doc, &dialog);
            const auto repaired = t->afterRepair;
            t->afterRepair = [repaired, view] {
                repaired();
                if (view)
                    view->updatePreview(); // the preview shows the act as it now stands
            };
            t->exec();
        });
        QAction* save = bar->addAction(QStringLiteral("Сохранить как…"));
        connect(save, &QAction::triggered, &dialog, [this, &dialog, &doc] {
            const QString file = QFileDialog::getSaveFileName(&dialog, QStringLiteral("Output Options"), QStringLiteral("Akt_Sverki.pdf"),
                QStringLiteral("Adobe Acrobat (PDF) (*.pdf);;Web Page (HTML) (*.html *.htm);;Plain Text (TXT) (*.txt);;ODF (*.odt)"));
            if (file.isEmpty())
                return;
            try {
                const ActRequest request = st_.pickedAct();
                saveAct(doc, file, actText(Act::header(st_.dm(), request, st_.host().now()), Act::printSet(st_.dm())));
            } catch (const DbError& e) {
                QMessageBox::warning(&dialog, QStringLiteral("Акт сверки"), e.message());
            }
        });
    }
    // Maximized; without a window manager to honour that, the screen's whole free area.
    if (const QScreen* screen = this->screen())
        dialog.setGeometry(screen->availableGeometry());
    dialog.setWindowState(Qt::WindowMaximized);
    dialog.exec();
}

void MainWindow::hideToTray()
{
    // Without a notification area the window is minimized instead, so it stays reachable.
    if (!trayAvailable()) {
        showMinimized();
        return;
    }
    if (!tray_) {
        tray_ = new QSystemTrayIcon(windowIcon(), this);
        tray_->setToolTip(QStringLiteral("Rozor данными"));
        auto* menu = new QMenu(this);
        menu->addAction(QStringLiteral("Показать"), this, [this] { showFromTray(); });
        menu->addAction(QStringLiteral("Выход"), this, [this] { quitProgram(); });
        tray_->setContextMenu(menu);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::DoubleClick)
                showFromTray();
        });
    }
    tray_->show(); // added once; a later "Свернуть" finds it there
    hide();
}

void MainWindow::quitProgram()
{
    // A hidden window's close ends no event loop by itself: the program quits explicitly.
    close();
    QCoreApplication::quit();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    for (QDateEdit* d : {Data_O_C, Data_O_PO}) {
        if (watched != d && watched != d->findChild<QLineEdit*>())
            continue;
        if (event->type() == QEvent::MouseButtonRelease) {
            // After the click has placed the cursor: the section it is in is selected, so the
            // digits typed replace it and go on to the next section.
            QTimer::singleShot(0, d, [d] { d->setSelectedSection(d->currentSection()); });
        } else if (event->type() == QEvent::KeyPress) {
            // "15.01.2011" typed as written: a section filled by its digits has already moved
            // on to the next, so the separator typed after it must not move on once more.
            const QString text = static_cast<QKeyEvent*>(event)->text();
            const bool digit = text.size() == 1 && text[0].isDigit();
            const bool separator = text == QLatin1String(".") || text == QLatin1String(",") || text == QLatin1String("/");
            if (separator && typing_.edit == d && typing_.afterDigit && d->currentSectionIndex() != typing_.sectionBefore) {
                typing_.afterDigit = false;
                return true;
            }
            typing_ = {d, digit, d->currentSectionIndex()};
        }
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::showFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::autostartClicked(bool on)
{
    if (!on) {
        autostart->remove(); // removing what is not there is no error
        if (autostart->present()) {
            CB_AutoStart->setChecked(true); // what the system holds
            tellAutostart(QStringLiteral("Не удается удалить ") + autostart->where(), true);
            return;
        }
        tellAutostart(QStringLiteral("Программа удалена из автозапуска"), false);
        return;
    }
    QString error;
    const QString command = autostart->command(QCoreApplication::applicationFilePath(), startedHome);
    if (autostart->add(command, error)) {
        tellAutostart(QStringLiteral("Программа добавленна в автозапуск"), false);
    } else {
        CB_AutoStart->setChecked(autostart->present()); // the box shows what the system holds
        tellAutostart(error, true);
    }
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    if (tray_)
        tray_->hide(); // the icon goes with the window
    // A run in progress first reaches the end of its current step; its lines reach the log.
    // The window says so at once and takes no more clicks meanwhile.
    if (st_.running()) {
        closing_ = true;
        refresh();
        st_.requestStop();
        st_.waitForRun();
    }
    e->accept();
}

void MainWindow::showLabel(QLabel* w, const LabelState& s)
{
    w->setText(s.text);
    w->setToolTip(s.hint);
    QString style;
    if (s.background != Colour::Default) style += QStringLiteral("background-color:%1;padding:0 4px;").arg(css(s.background));
    if (s.foreground != Colour::Default) style += QStringLiteral("color:%1;").arg(css(s.foreground));
    w->setStyleSheet(style);
    if (w != L_KTO)
        w->setVisible(s.visible);
}

void MainWindow::showBar(QProgressBar* p, const BarState& s)
{
    // A maximum of 0 would draw Qt's endless "busy" bar: nothing to send shows empty and still.
    p->setRange(0, s.max > 0 ? s.max : 1);
    p->setValue(s.max > 0 ? std::min(s.pos, s.max) : 0);
}

void MainWindow::showBar(Bar b)
{
    showBar(bars_[size_t(b)], st_.panel().bars[size_t(b)]);

}

void MainWindow::refresh()
{
    const Panel& p = st_.panel();
    setWindowTitle(p.caption);
    showLabel(L_Info, p.L_Info);
    showLabel(L_Info1, p.L_Info1);
    showLabel(L_KTO, p.L_KTO);
    showLabel(L_Tel, p.L_Tel);
    showLabel(L_GL_IP, p.L_GL_IP);
    showLabel(L_IP, p.L_IP);
    showLabel(L_Interval, p.L_Interval);
    showLabel(L_C, p.L_C);
    showLabel(L_Po, p.L_Po);
    showLabel(L_Admin, p.L_Admin);
    showLabel(L_Pass, p.L_Pass);
    showLabel(L_Start, p.L_Start);
    showLabel(L_Kol, p.L_Kol);
    showLabel(L_Pop, p.L_Pop);
    showLabel(L_StartProg, p.L_StartProg);
    showBar(PB_Start, p.PB_Start);
    for (int i = 0; i < kBarCount; ++i)
        showBar(bars_[i], p.bars[i]);
    // Inputs change only when the program itself changed their value (start-up, the night
    // rule, the transfer timer's switches): a value the user is typing or has clicked stays.
    for (int i = 0; i < kSwitchCount; ++i)
        if (p.switches[size_t(i)] != shown_.switches[size_t(i)]) {
            shown_.switches[size_t(i)] = p.switches[size_t(i)];
            switches_[i]->setChecked(p.switches[size_t(i)]);
        }
    if (p.CB_New != shown_.incremental) {
        shown_.incremental = p.CB_New;
        CB_New->setChecked(p.CB_New);
    }
    if (p.Data_O_C != shown_.from) {
        shown_.from = p.Data_O_C;
        const QSignalBlocker block(Data_O_C);
        Data_O_C->setDate(p.Data_O_C);
    }
    if (p.Data_O_PO != shown_.to) {
        shown_.to = p.Data_O_PO;
        const QSignalBlocker block(Data_O_PO);
        Data_O_PO->setDate(p.Data_O_PO);
    }
    // While a run is in progress nothing else may be started, and the step switches (taken
    // when the run was armed) wait for the next run; closing, nothing at all.
    for (QWidget* b : {static_cast<QWidget*>(B_Connect), static_cast<QWidget*>(B_Test), static_cast<QWidget*>(B_Akt)})
        b->setEnabled(!p.running && !closing_);
    for (QCheckBox* cb : switches_)
        cb->setEnabled(!p.running && !closing_);
    for (QWidget* b : {static_cast<QWidget*>(B_Stop), static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(CB_New),
                       static_cast<QWidget*>(Data_O_C), static_cast<QWidget*>(Data_O_PO), static_cast<QWidget*>(CB_AutoStart)})
        b->setEnabled(!closing_);
    if (p.focusRequests != seenFocus_) {
        seenFocus_ = p.focusRequests;
        B_Stop->setFocus();
    }
    Memo1->setPlainText(p.memo.join(QLatin1Char('\n')));
    if (closing_) {
        L_LogProblem->setText(closingText());
        L_LogProblem->setVisible(true);
    } else {
        L_LogProblem->setText(p.logProblem.isEmpty() ? QString() : QStringLiteral("Журнал не записан: ") + p.logProblem);
        L_LogProblem->setVisible(!p.logProblem.isEmpty());
    }
}

} // namespace varid
