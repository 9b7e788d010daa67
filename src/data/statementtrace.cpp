#include "data/statementtrace.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlError>

#include <memory>

namespace varid {

std::atomic<bool> StatementTrace::active_{false};

namespace {
QMutex& mutex()
{
    static QMutex m;
    return m;
}
std::unique_ptr<QFile>& file()
{
    static std::unique_ptr<QFile> f;
    return f;
}
const QElapsedTimer& clock()
{
    static const QElapsedTimer t = [] { QElapsedTimer e; e.start(); return e; }();
    return t;
}
QString oneLine(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return s;
}
} // namespace

bool StatementTrace::open(const QString& path, QString* error)
{
    QMutexLocker lock(&mutex());
    auto f = std::make_unique<QFile>(path);
    if (!f->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error)
            *error = path + QStringLiteral(": ") + f->errorString();
        return false;
    }
    file() = std::move(f);
    clock();
    active_.store(true);
    return true;
}

qint64 StatementTrace::now()
{
    return clock().nsecsElapsed();
}

QString StatementTrace::valueText(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Short: case QMetaType::UShort:
        return v.toString();
    case QMetaType::Double: case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 17);
    case QMetaType::QByteArray:
        return QStringLiteral("<%1 bytes>").arg(v.toByteArray().size());
    default: {
        QString s = v.toString();
        s.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QLatin1Char('\'') + oneLine(s) + QLatin1Char('\'');
    }
    }
}

QString StatementTrace::line(const QString& connection, const QString& sql, const QVariantList& binds, const QString& outcome,
                             double ms)
{
    QStringList values;
    for (const QVariant& v : binds)
        values << valueText(v);
    return QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz")) + QLatin1Char('\t') + connection
        + QLatin1Char('\t') + oneLine(sql).trimmed() + QLatin1Char('\t') + QLatin1Char('[') + values.join(QStringLiteral(", "))
        + QLatin1Char(']') + QLatin1Char('\t') + oneLine(outcome) + QLatin1Char('\t') + QString::number(ms, 'f', 3)
        + QStringLiteral(" ms");
}

void StatementTrace::record(const QString& connection, const QString& sql, const QVariantList& binds, const QSqlError* error,
                            int rows, qint64 startedNs)
{
    const double ms = double(now() - startedNs) / 1e6;
    const QString outcome = error && error->isValid() ? QStringLiteral("ошибка: ") + error->text().trimmed()
        : rows < 0                                   ? QStringLiteral("выборка")
                                                     : QStringLiteral("строк: %1").arg(rows);
    const QByteArray bytes = line(connection, sql, binds, outcome, ms).toUtf8() + '\n';
    QMutexLocker lock(&mutex());
    if (file()) {
        file()->write(bytes);
        file()->flush();
    }
}

} // namespace varid
