#pragma once
// Two real SQLite databases built from db/, in a temporary home directory.
#include "data/datamodules.h"
#include "data/embedded.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Failure messages show texts as texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

#include "transfer/recordcopy.h"

namespace varid::testing {

// Qt SQL wants an application object; one for the whole test binary.
QCoreApplication& app();

// HOME/Path.ini pointing at HOME/local.db and HOME/main.db.
void writePathIni(const QString& home, const char* interval = "30", const char* start = "60");

// Rows one by one, as every walk went before batches and as a batch goes again when it
// cannot be written whole: for the tests of the seams between single rows.
struct RowByRow {
    int before = RecordCopy::batchRows;
    RowByRow() { RecordCopy::batchRows = 1; }
    ~RowByRow() { RecordCopy::batchRows = before; }
};

class TwoDatabases : public ::testing::Test {
protected:
    void SetUp() override;

    QString home() const { return dir_.path(); }
    QString localFile() const { return dir_.filePath(QStringLiteral("local.db")); }
    QString mainFile() const { return dir_.filePath(QStringLiteral("main.db")); }

    // Statements on the files themselves, outside the program's connections.
    void local(const QString& script) { runSqliteScript(localFile(), script); }
    void main(const QString& script) { runSqliteScript(mainFile(), script); }
    QVariant localValue(const QString& sql) { return scalar(localFile(), sql); }
    QVariant mainValue(const QString& sql) { return scalar(mainFile(), sql); }

public:
    static QVariant scalar(const QString& file, const QString& sql);

protected:
    // The program's connections, opened on the two files.
    void connectBoth(DM& dm, DM2& dm2);

    QTemporaryDir dir_;
};

} // namespace varid::testing
