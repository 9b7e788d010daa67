#pragma once
#include "shell/autostart.h"
#include "shell/station.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimeEdit>
#include <QWidget>

#include <functional>

class QTextDocument;

#include <array>

namespace varid {

class ActTable;

// The main window: a view of the station's panel and the user's controls.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Station& station, QWidget* parent = nullptr);

    // Element names as the program knows them, for a look from outside (tests, scripts).
    QWidget* element(const QString& name) const { return findChild<QWidget*>(name); }

    void refresh();

    // Shows the built act: a print preview in the program, something else in tests.
    std::function<void(QTextDocument& act)> presentAct;
    // How a failed act was told; a message box in the program.
    std::function<void(const QString& message)> tellActFailure;

    // "Добавить в автозагрузку": where the entry goes, and how the outcome is told.
    std::unique_ptr<Autostart> autostart;
    std::function<void(const QString& message, bool failed)> tellAutostart;
    QString startedHome; // the home folder (absolute), for the autostart entry

    // "Свернуть": into the notification area, or minimized where there is none.
    void hideToTray();
    void showFromTray();
    QSystemTrayIcon* trayIcon() const { return tray_; }
    std::function<bool()> trayAvailable; // the desktop's notification area, asked each time
    // "Выход" in the tray's menu: the program ends whatever the window's state, as closing the
    // window does (during a run, after its current step).
    void quitProgram();

    // The act as it now stands in XXX, into `doc` (after a repair the preview and the saved
    // file show the new verdicts).
    void renderActInto(QTextDocument& doc);
    // The table of the act beside its preview; after each repair `doc` is rendered again.
    std::unique_ptr<ActTable> actTable(QTextDocument& doc, QWidget* parent);

    // Shown while the window waits for the run's current step before it closes.
    static QString closingText() { return QStringLiteral("Программа закончит текущий шаг передачи и закроется…"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    void closeEvent(QCloseEvent* e) override;

private:
    void printAct(const RunOutcome& built);
    void autostartClicked(bool on);
    void showBar(QProgressBar* p, const BarState& s);
    void previewAct(QTextDocument& doc);
    QLabel* label(const QString& name, const QString& text);
    void showLabel(QLabel* w, const LabelState& s);
    void showBar(Bar b);

    Station& st_;
    QLabel *L_Info, *L_Info1, *L_KTO, *L_Tel, *L_GL_IP, *L_IP, *L_Interval, *L_C, *L_Po, *L_Admin, *L_Pass,
        *L_Start, *L_Kol, *L_Pop, *L_StartProg, *L_LogProblem;
    QProgressBar* PB_Start;
    std::array<QProgressBar*, kBarCount> bars_{};
    std::array<QCheckBox*, kSwitchCount> switches_{};
    QCheckBox *CB_New, *CB_AutoStart;
    QDateEdit *Data_O_C, *Data_O_PO;
    QPushButton *B_Connect, *B_Stop, *B_Test, *B_Akt, *BitBtn1;
    QPlainTextEdit* Memo1;
    int seenFocus_ = 0;
    bool closing_ = false;
    struct {
        QDateEdit* edit = nullptr;
        bool afterDigit = false;
        int sectionBefore = -1;
    } typing_; // the last key typed into a period picker
    QSystemTrayIcon* tray_ = nullptr;
    // The inputs' values as the window last set or the user last entered them.
    struct {
        QDate from, to;
        bool incremental = true;
        std::array<bool, kSwitchCount> switches{};
    } shown_;
};

} // namespace varid
