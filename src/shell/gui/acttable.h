#pragma once
// The act as a table beside the printed report: failing rows marked, sortable, filterable
// to "только Oшибка"; a failing row shows the records behind it, and "Отправить заново"
// repairs that day of that kind.
#include "reconcile/detail.h"
#include "shell/station.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTableWidget;

namespace varid {

class ActTable : public QDialog {
    Q_OBJECT
public:
    ActTable(Station& station, const ActRequest& period, QWidget* parent = nullptr);

    void reload();                 // the act's rows from XXX
    void showOnlyFailures(bool on);
    void selectRow(int row);       // in the view's current order
    int rowCount() const;
    QVector<RecordDiff> shownDetail() const { return detail_; }
    void repairSelected();

    // Asked before anything is deleted, with the records that would go; true goes ahead.
    std::function<bool(const QString& question, const QString& records)> confirm;
    // After a repair, once the act's rows are read again (the printed act follows them).
    std::function<void()> afterRepair;
    QString statusText() const;

    ~ActTable() override;

protected:
    void showEvent(QShowEvent* e) override;

public:

private:
    void showDetail();
    const ActRow* selected() const;

    Station& st_;
    ActRequest period_;
    QVector<ActRow> rows_;
    QVector<RecordDiff> detail_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* proxy_;
    QTableView* view_;
    QTableWidget* records_;
    QCheckBox* onlyFailures_;
    QPushButton* repair_;
    QLabel* status_;
};

} // namespace varid
