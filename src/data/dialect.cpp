#include "data/dialect.h"

#include "data/dberror.h"

#include "data/values.h"

#include <QRegularExpression>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace varid {

QString sqlValue(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QStringLiteral("''"));
    return v;
}

namespace {

enum class Tok { Word, Number, String, Quoted, Space, Punct };

struct Token {
    Tok kind;
    QString text;
};

bool isWordStart(QChar c) { return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#'); }
bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#') || c == QLatin1Char('$'); }

QVector<Token> tokenize(const QString& s)
{
    QVector<Token> out;
    int i = 0;
    const int n = s.size();
    while (i < n) {
        const QChar c = s[i];
        int j = i + 1;
        Tok kind;
        if (c == QLatin1Char('\'')) {
            kind = Tok::String;
            while (j < n) {
                if (s[j] == QLatin1Char('\'')) {
                    if (j + 1 < n && s[j + 1] == QLatin1Char('\'')) { j += 2; continue; }
                    ++j;
                    break;
                }
                ++j;
            }
        } else if (c == QLatin1Char('"') || c == QLatin1Char('[')) {
            kind = Tok::Quoted;
            const QChar close = c == QLatin1Char('"') ? QLatin1Char('"') : QLatin1Char(']');
            while (j < n && s[j] != close) ++j;
            if (j < n) ++j;
        } else if (c.isSpace()) {
            kind = Tok::Space;
            while (j < n && s[j].isSpace()) ++j;
        } else if (c.isDigit()) {
            kind = Tok::Number;
            while (j < n && (s[j].isLetterOrNumber() || s[j] == QLatin1Char('.'))) ++j;
        } else if (isWordStart(c)) {
            kind = Tok::Word;
            while (j < n && isWordChar(s[j])) ++j;
        } else {
            kind = Tok::Punct;
        }
        out.push_back({kind, s.mid(i, j - i)});
        i = j;
    }
    return out;
}

int nextSolid(const QVector<Token>& t, int i)
{
    ++i;
    while (i < t.size() && t[i].kind == Tok::Space) ++i;
    return i;
}

int prevSolid(const QVector<Token>& t, int i)
{
    --i;
    while (i >= 0 && t[i].kind == Tok::Space) --i;
    return i;
}

bool isBareColumn(const QVector<Token>& t, int i)
{
    if (i < 0 || i >= t.size() || t[i].kind != Tok::Word)
        return false;
    const int nx = nextSolid(t, i);
    return !(nx < t.size() && t[nx].text == QLatin1String("(")); // a function call is no column
}

} // namespace

namespace {

bool isWord(const Token& t, const char* word)
{
    return t.kind == Tok::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// The column a string literal at `i` is compared with or assigned to, or "" when none:
// "COL = 'x'", "COL <> 'x'", "COL Between 'x' and 'y'", "COL not Between 'x' and 'y'".
QString dateContext(const QVector<Token>& t, int i)
{
    int p = prevSolid(t, i);
    if (p < 0)
        return QString();
    // A comparison operator, possibly written as two punctuation tokens ("<", ">").
    if (t[p].kind == Tok::Punct && QStringLiteral("=<>").contains(t[p].text)) {
        while (p >= 0 && t[p].kind == Tok::Punct && QStringLiteral("=<>!").contains(t[p].text))
            p = prevSolid(t, p);
        return p >= 0 && t[p].kind == Tok::Word ? t[p].text : QString();
    }
    if (isWord(t[p], "between")) {
        p = prevSolid(t, p);
        if (p >= 0 && isWord(t[p], "not"))
            p = prevSolid(t, p);
        return p >= 0 && t[p].kind == Tok::Word ? t[p].text : QString();
    }
    if (isWord(t[p], "and")) {
        // The upper bound of a Between: the token before "and" is its lower bound.
        const int lower = prevSolid(t, p);
        if (lower < 0 || t[lower].kind != Tok::String)
            return QString();
        int b = prevSolid(t, lower);
        if (b < 0 || !isWord(t[b], "between"))
            return QString();
        b = prevSolid(t, b);
        if (b >= 0 && isWord(t[b], "not"))
            b = prevSolid(t, b);
        return b >= 0 && t[b].kind == Tok::Word ? t[b].text : QString();
    }
    return QString();
}

} // namespace

QString sqliteTranslate(const QString& tsql, const std::function<bool(const QString&)>& isDateColumn,
                        const std::function<bool(const QString&)>& isTextColumn, bool hasTsqlAdd, bool floatSums)
{
    QVector<Token> t = tokenize(tsql);

    for (int i = 0; i < t.size(); ++i) {
        Token& tok = t[i];
        if (tok.kind != Tok::String)
            continue;
        const QString inner = tok.text.mid(1, tok.text.size() - 2);
        const auto dt = parseDateText(inner);
        if (!dt)
            continue;
        if (isDateColumn) {
            const QString column = dateContext(t, i);
            if (column.isEmpty() || !isDateColumn(column))
                continue;
        }
        tok.text = QLatin1Char('\'') + storageText(*dt) + QLatin1Char('\'');
    }

    QString out;
    out.reserve(tsql.size() + 16);
    for (int i = 0; i < t.size(); ++i) {
        if (floatSums && isWord(t[i], "sum")) {
            const int nx = nextSolid(t, i);
            if (nx < t.size() && t[nx].text == QLatin1String("(")) {
                out += QStringLiteral("total");
                continue;
            }
        }
        if (isBareColumn(t, i)) {
            const int before = prevSolid(t, i);
            const bool afterOperator = before >= 0 && t[before].kind == Tok::Punct
                && QStringLiteral("*/%-").contains(t[before].text);
            QStringList operands{t[i].text};
            int last = i;
            if (!afterOperator) {
                for (;;) {
                    const int plus = nextSolid(t, last);
                    if (plus >= t.size() || t[plus].text != QLatin1String("+"))
                        break;
                    const int rhs = nextSolid(t, plus);
                    if (!isBareColumn(t, rhs))
                        break;
                    operands << t[rhs].text;
                    last = rhs;
                }
            }
            if (operands.size() > 1) {
                const bool allText = isTextColumn && std::all_of(operands.begin(), operands.end(), isTextColumn);
                QString expr = operands[0];
                for (int k = 1; k < operands.size(); ++k) {
                    if (allText)
                        expr = QStringLiteral("(%1||%2)").arg(expr, operands[k]);
                    else if (hasTsqlAdd)
                        expr = QStringLiteral("tsql_add(%1,%2)").arg(expr, operands[k]);
                    else
                        expr += QLatin1Char('+') + operands[k];
                }
                out += expr;
                i = last;
                continue;
            }
        }
        out += t[i].text;
    }
    return out;
}

ParameterizedStatement parameterize(const QString& sql)
{
    ParameterizedStatement p;
    p.sql.reserve(sql.size());
    for (const Token& tok : tokenize(sql)) {
        if (tok.kind == Tok::String) {
            QString v = tok.text.mid(1, tok.text.size() - 2);
            v.replace(QStringLiteral("''"), QStringLiteral("'"));
            p.values << v;
            p.sql += QLatin1Char('?');
        } else {
            p.sql += tok.text;
        }
    }
    return p;
}

PositionalStatement positionalParams(const QString& body)
{
    PositionalStatement st;
    QString piece;
    for (const Token& tok : tokenize(body)) {
        if (tok.kind == Tok::Word && tok.text.startsWith(QLatin1Char('@'))) {
            st.params << tok.text;
            st.sql += QLatin1Char('?');
            st.pieces << piece;
            piece.clear();
        } else {
            st.sql += tok.text;
            piece += tok.text;
        }
    }
    st.pieces << piece;
    return st;
}

QString sqliteLiteral(const QVariant& value)
{
    // Null as the drivers bind it: no value, or a null text, byte array or date.
    if (!value.isValid() || value.isNull()
        || (value.typeId() == QMetaType::QString && static_cast<const QString*>(value.constData())->isNull())
        || (value.typeId() == QMetaType::QByteArray && static_cast<const QByteArray*>(value.constData())->isNull())
        || (value.typeId() == QMetaType::QDateTime && !value.toDateTime().isValid()))
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Short: case QMetaType::UShort:
        return value.toString();
    case QMetaType::Double: case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return QStringLiteral("NULL");
        return QString::number(d, 'g', 17);
    }
    case QMetaType::QDateTime:
        return QLatin1Char('\'') + storageText(value.toDateTime()) + QLatin1Char('\'');
    case QMetaType::QByteArray:
        return QStringLiteral("X'") + QString::fromLatin1(value.toByteArray().toHex()) + QLatin1Char('\'');
    default:
        return QLatin1Char('\'') + sqlValue(value.toString()) + QLatin1Char('\'');
    }
}

QString withLiterals(const PositionalStatement& st, const QVariantList& values)
{
    Q_ASSERT(values.size() == st.params.size() && st.pieces.size() == st.params.size() + 1);
    QString text = st.pieces.value(0);
    for (int i = 0; i < st.params.size(); ++i)
        text += sqliteLiteral(values.value(i)) + st.pieces.value(i + 1);
    return text;
}

QString odbcAttributeValue(const QString& value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('}'))
        && !value.contains(QLatin1Char('{')) && value.trimmed() == value)
        return value;
    QString v = value;
    v.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + v + QLatin1Char('}');
}

QString freetdsAttributeValue(const QString& value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('}'))
        && !value.contains(QLatin1Char('{')) && value.trimmed() == value)
        return value;
    // FreeTDS ends a braced value at its first "}" followed by ";" and takes "}}" as two
    // braces: a "}" inside is written as it stands, and "};" cannot be passed at all.
    if (value.contains(QLatin1String("};")))
        throw DbError(QStringLiteral("a value of the connection holds \"};\", which FreeTDS cannot take: change it in Path.ini and on the server"));
    return QLatin1Char('{') + value + QLatin1Char('}');
}

QString odbcConnectionString(const ConnectionSettings& s)
{
    QString out = QStringLiteral("DRIVER={FreeTDS};SERVER=") + freetdsAttributeValue(s.server)
        + QStringLiteral(";DATABASE=") + freetdsAttributeValue(s.database) + QLatin1Char(';');
    // A server named by its name or address alone is reached on SQL Server's default port:
    // FreeTDS as Debian configures it (tds version = auto) finds no port of its own for it.
    // A port ("host,1444") or an instance ("host\SQLEXPRESS", found through the server's
    // browser service) is passed as given.
    if (!s.server.trimmed().isEmpty() && !s.server.contains(QLatin1Char(',')) && !s.server.contains(QLatin1Char('\\')))
        out += QStringLiteral("PORT=1433;");
    if (s.trusted)
        out += QStringLiteral("Trusted_Connection=yes;");
    else
        out += QStringLiteral("UID=") + freetdsAttributeValue(s.user) + QStringLiteral(";PWD=")
            + freetdsAttributeValue(s.password) + QLatin1Char(';');
    out += QStringLiteral("ClientCharset=UTF-8;");
    return out;
}

QString odbcCallText(const QString& procName, const QStringList& paramNames)
{
    QStringList assigns;
    for (const QString& p : paramNames)
        assigns << p + QStringLiteral("=?");
    QString text = QStringLiteral("SET NOCOUNT ON; EXEC ") + procName;
    if (!assigns.isEmpty())
        text += QLatin1Char(' ') + assigns.join(QStringLiteral(", "));
    return text;
}

QString odbcTransactionText(const QString& procName, const QStringList& paramNames)
{
    return odbcBatchText({odbcCallText(procName, paramNames)});
}

QString odbcBatchText(const QStringList& calls)
{
    QString text = QStringLiteral("SET NOCOUNT ON; SET XACT_ABORT ON; BEGIN TRAN; ");
    static const QString noCount = QStringLiteral("SET NOCOUNT ON; ");
    for (const QString& c : calls)
        text += (c.startsWith(noCount) ? c.mid(noCount.size()) : c) + QStringLiteral("; ");
    return text + QStringLiteral("COMMIT TRAN; SELECT 1 AS COMMITTED");
}

QString odbcBatchRollbackText()
{
    return QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRAN");
}

} // namespace varid
