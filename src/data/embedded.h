#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

namespace varid {

enum class DbRole { Local, Main };

struct ProcBody {
    QString name;
    QStringList statements;
};

// Reads a procedures file: "-- PROC name" starts a procedure, each statement ends with ';'
// at the end of a line.
QVector<ProcBody> parseProcedures(const QString& text);

// Creates an embedded database file with the schema and the procedures of its role.
// An existing file is replaced.
void createEmbeddedDatabase(const QString& file, DbRole role);

// Runs a script of several statements on an embedded database file.
void runSqliteScript(const QString& file, const QString& script);

} // namespace varid
