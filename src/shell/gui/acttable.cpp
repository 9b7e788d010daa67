#include "shell/gui/acttable.h"

#include "data/values.h"
#include "reconcile/report.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace varid {

namespace {
enum Column { Section, Title, Day, Name, LocalCount, LocalSum, MainCount, MainSum, Verdict, Columns };
const int kIndexRole = Qt::UserRole + 1;

QStandardItem* cell(const QString& text, const QVariant& sortKey = {})
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    if (sortKey.isValid())
        item->setData(sortKey, Qt::UserRole);
    return item;
}
} // namespace

ActTable::ActTable(Station& st, const ActRequest& period, QWidget* parent) : QDialog(parent), st_(st), period_(period)
{
    setWindowTitle(QStringLiteral("Акт сверки: расхождения с %1 по %2").arg(shortDate(period.from), shortDate(period.to)));
    resize(980, 640);
    model_ = new QStandardItemModel(0, Columns, this);
    model_->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Раздел"), QStringLiteral("День"), QStringLiteral("Вид"),
                                       QStringLiteral("Кол-во филиал"), QStringLiteral("Сумма филиал"), QStringLiteral("Кол-во ГлС"),
                                       QStringLiteral("Сумма ГлС"), QStringLiteral("Итог")});
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(Qt::UserRole);
    proxy_->setFilterKeyColumn(Verdict);
    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("ActRows"));
    view_->setModel(proxy_);
    view_->horizontalHeader()->setSortIndicator(Section, Qt::AscendingOrder); // the print's order first
    view_->setSortingEnabled(true);
    view_->setWordWrap(false);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->verticalHeader()->hide();

    records_ = new QTableWidget(0, 6, this);
    records_->setObjectName(QStringLiteral("ActRecords"));
    records_->setHorizontalHeaderLabels({QStringLiteral("Где"), QStringLiteral("Ключ"), QStringLiteral("Номер"), QStringLiteral("Дата"),
                                         QStringLiteral("Сумма филиал"), QStringLiteral("Сумма ГлС")});
    records_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    records_->horizontalHeader()->setStretchLastSection(true);
    records_->verticalHeader()->hide();

    onlyFailures_ = new QCheckBox(QStringLiteral("только Oшибка"), this);
    repair_ = new QPushButton(QStringLiteral("Отправить заново"), this);
    repair_->setEnabled(false);
    status_ = new QLabel(this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(view_);
    split->addWidget(records_);
    split->setSizes({420, 200});
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(onlyFailures_);
    buttons->addWidget(status_, 1);
    buttons->addWidget(repair_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    layout->addLayout(buttons);

    connect(onlyFailures_, &QCheckBox::toggled, this, [this](bool on) { showOnlyFailures(on); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { showDetail(); });
    connect(repair_, &QPushButton::clicked, this, [this] { repairSelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    confirm = [this](const QString& question, const QString& records) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Отправить заново"), question, QMessageBox::Yes | QMessageBox::No, this);
        box.setDetailedText(records);
        return box.exec() == QMessageBox::Yes;
    };
    reload();
}

ActTable::~ActTable()
{
    st_.waitForRun(); // a repair and its act rebuild still call back here
}

void ActTable::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // Wide enough that the last column ("Итог") shows whole when the table opens: measured
    // once the window stands on the screen, widened then.
    QTimer::singleShot(0, this, [this] {
        const int missing = view_->horizontalHeader()->length() - view_->viewport()->width();
        if (missing > 0)
            resize(width() + missing + 2, height());
    });
}

QString ActTable::statusText() const
{
    return status_->text();
}

void ActTable::reload()
{
    rows_.clear();
    for (const ActRow& r : Act::printSet(st_.dm()))
        if (r.owner == act::owner)
            rows_ << r;
    model_->removeRows(0, model_->rowCount());
    int failed = 0;
    for (int i = 0; i < rows_.size(); ++i) {
        const ActRow& r = rows_[i];
        const bool bad = r.verdict != act::ok;
        failed += bad;
        QList<QStandardItem*> line{cell(QString::number(r.section), r.section), cell(r.title, r.title),
                                   cell(shortDate(r.day), r.day), cell(r.name, r.name),
                                   cell(actFigure(r.localCount, false), r.localCount), cell(actFigure(r.localSum, true), r.localSum),
                                   cell(actFigure(r.mainCount, false), r.mainCount), cell(actFigure(r.mainSum, true), r.mainSum),
                                   cell(r.verdict, r.verdict)};
        line[0]->setData(i, kIndexRole);
        for (QStandardItem* c : line) {
            if (bad) {
                c->setBackground(QColor(244, 199, 195));
                QFont f = c->font();
                f.setBold(true);
                c->setFont(f);
            }
            if (c->column() >= LocalCount && c->column() <= MainSum)
                c->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        model_->appendRow(line);
    }
    status_->setText(QStringLiteral("Строк: %1, расхождений: %2").arg(rows_.size()).arg(failed));
    view_->resizeColumnsToContents();
    showDetail();
}

void ActTable::showOnlyFailures(bool on)
{
    onlyFailures_->setChecked(on);
    proxy_->setFilterFixedString(on ? act::failed : QString());
}

int ActTable::rowCount() const { return proxy_->rowCount(); }

void ActTable::selectRow(int row)
{
    view_->selectRow(row);
    showDetail();
}

const ActRow* ActTable::selected() const
{
    const QModelIndexList picked = view_->selectionModel()->selectedRows();
    if (picked.isEmpty())
        return nullptr;
    const int i = proxy_->mapToSource(picked.first()).siblingAtColumn(0).data(kIndexRole).toInt();
    return i >= 0 && i < rows_.size() ? &rows_[i] : nullptr;
}

void ActTable::showDetail()
{
    detail_.clear();
    const ActRow* r = selected();
    const bool failing = r && r->verdict != act::ok;
    repair_->setEnabled(failing && kindOfSection(r->section) != nullptr);
    if (failing) {
        try {
            detail_ = groupDifferences(st_.dm(), st_.dm2(), period_.branch, *r);
        } catch (const DbError& e) {
            status_->setText(e.message());
        }
    }
    records_->setRowCount(int(detail_.size()));
    records_->setWordWrap(false);
    for (int i = 0; i < detail_.size(); ++i) {
        const RecordDiff& d = detail_[i];
        const QStringList cells{sideText(d.side), d.key, d.number, d.date, QString::number(d.localAmount, 'f', 2),
                                QString::number(d.mainAmount, 'f', 2)};
        for (int c = 0; c < cells.size(); ++c)
            records_->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
    records_->resizeColumnsToContents();
}

void ActTable::repairSelected()
{
    const ActRow* r = selected();
    if (!r)
        return;
    const RecordKind kind = kindOfSection(r->section);
    const QDate day = r->day;
    // What would be deleted on the main database: every record of this branch of that day
    // and kind that the branch no longer holds.
    QStringList gone;
    try {
        const QVector<RecordDiff> diffs = dayDifferences(st_.dm(), st_.dm2(), period_.branch, kind, day);
        const Resend elsewhere = heldElsewhere(st_.dm(), period_.branch, kind, diffs); // sent again, not deleted
        for (const RecordDiff& d : diffs)
            if (d.side == RecordDiff::OnlyMain && !elsewhere.keys.contains(d.key))
                gone << d.key + QStringLiteral(", ") + d.date + QStringLiteral(", ") + QString::number(d.mainAmount, 'f', 2);
    } catch (const DbError& e) {
        status_->setText(e.message());
        return;
    }
    // The section by its Russian title, as the act prints it.
    const QString title = r->title;
    const QString question = QStringLiteral("Отправить на ГлС заново «%1» за %2?").arg(title, shortDate(day))
        + (gone.isEmpty() ? QString() : QStringLiteral("\nНа ГлС будут удалены записи, которых нет в филиале: %1.").arg(gone.size()));
    if (!confirm(question, gone.join(QLatin1Char('\n'))))
        return;
    if (!st_.repair(day, kind, [this, title, day] {
            const int deleted = st_.repairDeleted;
            const bool ok = st_.lastOutcome.end == RunEnd::Completed;
            st_.rebuildAct(period_, [this, title, day, deleted, ok] {
                reload();
                // The window says when it is done, and how.
                status_->setText(ok ? QStringLiteral("«%1» за %2 отправлено заново; удалено на ГлС: %3. %4")
                                          .arg(title, shortDate(day)).arg(deleted).arg(status_->text())
                                    : QStringLiteral("Отправка «%1» за %2 прервана: %3").arg(title, shortDate(day), st_.lastOutcome.error));
                if (afterRepair)
                    afterRepair();
            });
        })) {
        status_->setText(QStringLiteral("Идет передача: повторите после нее"));
        return;
    }
    repair_->setEnabled(false);
    status_->setText(QStringLiteral("Отправка…"));
}

} // namespace varid
