#include "reconcile/report.h"

#include "data/dberror.h"
#include "data/values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTextDocumentWriter>

static void initReportResources() { Q_INIT_RESOURCE(db); }

namespace varid {

namespace {
const QString kLayoutName = QStringLiteral("Akt_Sverki.RAV");

QString between(const QString& text, const QString& open, const QString& close, int& from, int& to)
{
    from = text.indexOf(open);
    to = from < 0 ? -1 : text.indexOf(close, from);
    if (from < 0 || to < 0)
        return QString();
    return text.mid(from + open.size(), to - from - open.size());
}

QString escaped(const QString& s) { return s.toHtmlEscaped(); }

QString figure(double v, bool money) { return actFigure(v, money); }
} // namespace

QString actFigure(double v, bool money, QChar blank)
{
    QString s = QString::number(v, 'f', money ? 2 : 0);
    const int point = money ? int(s.size()) - 3 : int(s.size());
    const int first = s.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (int i = point - 3; i > first; i -= 3)
        s.insert(i, blank);
    return s;
}

QString actText(const ReportHeader& h, const QVector<ActRow>& rows)
{
    const QStringList heads{QStringLiteral("День"), QStringLiteral("Вид"), QStringLiteral("Кол-во филиал"), QStringLiteral("Сумма филиал"),
                            QStringLiteral("Кол-во ГлС"), QStringLiteral("Сумма ГлС"), QStringLiteral("Итог")};
    int failed = 0;
    for (const ActRow& r : rows)
        failed += r.verdict != act::ok;
    QStringList out{QStringLiteral("Акт сверки данных филиала с главной базой"), h.firm,
                    QStringLiteral("Филиал: %1 (код %2)").arg(h.branch, h.code),
                    QStringLiteral("Период: с %1 по %2").arg(shortDate(h.from), shortDate(h.to)),
                    QStringLiteral("Напечатано: %1").arg(h.printed.toString(QStringLiteral("dd.MM.yyyy hh:mm"))),
                    QStringLiteral("Строк акта: %1, расхождений: %2").arg(rows.size()).arg(failed)};
    for (int i = 0; i < rows.size();) {
        const ActRow& first = rows[i];
        QVector<QStringList> table{heads};
        for (; i < rows.size() && rows[i].section == first.section && rows[i].title == first.title; ++i) {
            const ActRow& r = rows[i];
            table << QStringList{r.day.isValid() ? shortDate(r.day) : QString(), r.name, actFigure(r.localCount, false, QLatin1Char(' ')),
                                 actFigure(r.localSum, true, QLatin1Char(' ')), actFigure(r.mainCount, false, QLatin1Char(' ')),
                                 actFigure(r.mainSum, true, QLatin1Char(' ')), r.verdict};
        }
        QVector<int> width(heads.size(), 0);
        for (const QStringList& line : std::as_const(table))
            for (int c = 0; c < line.size(); ++c)
                width[c] = std::max(width[c], int(line[c].size()));
        out << QString() << QStringLiteral("%1. %2").arg(first.section).arg(first.title);
        for (const QStringList& line : std::as_const(table)) {
            QStringList cells;
            for (int c = 0; c < line.size(); ++c) {
                const bool number = c >= 2 && c <= 5;
                cells << (number ? line[c].rightJustified(width[c]) : line[c].leftJustified(width[c]));
            }
            out << cells.join(QStringLiteral("  ")).trimmed();
        }
    }
    out << QString() << QStringLiteral("Ответственный филиала ______________________   Проверил ______________________");
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString layoutPath(const QString& home)
{
    return QDir(home).filePath(kLayoutName);
}

QString loadLayout(const QString& home)
{
    QFile f(layoutPath(home));
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("Не удается открыть макет отчета %1: %2").arg(f.fileName(), f.errorString()));
    return QString::fromUtf8(f.readAll());
}

QString defaultLayout()
{
    static const bool registered = (initReportResources(), true);
    (void)registered;
    QFile f(QStringLiteral(":/report/") + kLayoutName);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString renderAct(const QString& layout, const ReportHeader& h, const QVector<ActRow>& rows)
{
    int sFrom = 0, sTo = 0, rFrom = 0, rTo = 0;
    const QString sectionOpen = QStringLiteral("<!--SECTION-->"), sectionClose = QStringLiteral("<!--/SECTION-->");
    const QString rowOpen = QStringLiteral("<!--ROW-->"), rowClose = QStringLiteral("<!--/ROW-->");
    const QString section = between(layout, sectionOpen, sectionClose, sFrom, sTo);
    const QString row = between(section, rowOpen, rowClose, rFrom, rTo);
    if (sFrom < 0 || rFrom < 0)
        throw DbError(QStringLiteral("В макете отчета %1 нет блоков <!--SECTION--> и <!--ROW-->").arg(kLayoutName));
    const QString sectionHead = section.left(rFrom);
    const QString sectionTail = section.mid(rTo + rowClose.size());

    QString body;
    int failed = 0;
    for (int i = 0; i < rows.size();) {
        const ActRow& first = rows[i];
        QString block = sectionHead;
        block.replace(QStringLiteral("{{TITLE}}"), escaped(first.title));
        block.replace(QStringLiteral("{{SECTION}}"), QString::number(first.section));
        for (; i < rows.size() && rows[i].section == first.section && rows[i].title == first.title; ++i) {
            const ActRow& r = rows[i];
            const bool bad = r.verdict != act::ok;
            failed += bad;
            QString line = row;
            line.replace(QStringLiteral("{{DAY}}"), r.day.isValid() ? shortDate(r.day) : QString());
            line.replace(QStringLiteral("{{NAME}}"), escaped(r.name));
            line.replace(QStringLiteral("{{LOCAL_COUNT}}"), figure(r.localCount, false));
            line.replace(QStringLiteral("{{LOCAL_SUM}}"), figure(r.localSum, true));
            line.replace(QStringLiteral("{{MAIN_COUNT}}"), figure(r.mainCount, false));
            line.replace(QStringLiteral("{{MAIN_SUM}}"), figure(r.mainSum, true));
            line.replace(QStringLiteral("{{VERDICT}}"), escaped(r.verdict));
            line.replace(QStringLiteral("{{CLASS}}"), bad ? QStringLiteral("fail") : QStringLiteral("ok"));
            line.replace(QStringLiteral("{{OWNER}}"), escaped(r.owner));
            block += line;
        }
        body += block + sectionTail;
    }
    QString out = layout.left(sFrom) + body + layout.mid(sTo + sectionClose.size());
    out.replace(QStringLiteral("{{FIRM}}"), escaped(h.firm));
    out.replace(QStringLiteral("{{BRANCH}}"), escaped(h.branch));
    out.replace(QStringLiteral("{{CODE}}"), escaped(h.code));
    out.replace(QStringLiteral("{{FROM}}"), shortDate(h.from));
    out.replace(QStringLiteral("{{TO}}"), shortDate(h.to));
    out.replace(QStringLiteral("{{PRINTED}}"), h.printed.toString(QStringLiteral("dd.MM.yyyy hh:mm")));
    out.replace(QStringLiteral("{{ROWS}}"), QString::number(rows.size()));
    out.replace(QStringLiteral("{{FAILED}}"), QString::number(failed));
    return out;
}

void fillActDocument(QTextDocument& doc, const QString& html, const QString& layoutFile)
{
    doc.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    doc.setHtml(html);
    // A layout the engine renders as nothing (an element it takes for the whole document)
    // would print a blank act that looks like success.
    if (doc.toPlainText().trimmed().isEmpty())
        throw DbError(QStringLiteral("Макет отчета %1 выводится пустым листом: проверьте его разметку").arg(QDir::toNativeSeparators(layoutFile)));
    // Every cell keeps its figures off its borders, so a sum never runs into the verdict
    // beside it, whatever padding the layout's style asks for.
    for (QTextFrame* frame : doc.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            for (int r = 0; r < table->rows(); ++r)
                for (int c = 0; c < table->columns(); ++c) {
                    QTextTableCell cell = table->cellAt(r, c);
                    if (!cell.isValid() || cell.row() != r || cell.column() != c)
                        continue; // a spanned cell, set at its first position
                    QTextTableCellFormat f = cell.format().toTableCellFormat();
                    f.setLeftPadding(std::max(f.leftPadding(), 4.0));
                    f.setRightPadding(std::max(f.rightPadding(), 4.0));
                    f.setTopPadding(std::max(f.topPadding(), 1.0));
                    f.setBottomPadding(std::max(f.bottomPadding(), 1.0));
                    cell.setFormat(f);
                }
        }
}

std::unique_ptr<QTextDocument> actDocument(const QString& html, const QString& layoutFile)
{
    auto doc = std::make_unique<QTextDocument>();
    fillActDocument(*doc, html, layoutFile);
    return doc;
}

void saveAct(QTextDocument& doc, const QString& file, const QString& text)
{
    const QString ext = QFileInfo(file).suffix().toLower();
    if (ext == QLatin1String("pdf")) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(15, 12, 12, 12), QPageLayout::Millimeter);
        printer.setDocName(QStringLiteral("ReportPrinter Report"));
        doc.print(&printer); // the document numbers its pages at the foot
        if (!QFileInfo(file).isFile() || QFileInfo(file).size() == 0)
            throw DbError(QStringLiteral("Не удается записать %1").arg(file));
        return;
    }
    QFile out(file);
    if (ext == QLatin1String("html") || ext == QLatin1String("htm") || ext == QLatin1String("txt")) {
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw DbError(QStringLiteral("Не удается записать %1: %2").arg(file, out.errorString()));
        out.write((ext == QLatin1String("txt") ? (text.isEmpty() ? doc.toPlainText() : text) : doc.toHtml()).toUtf8());
        return;
    }
    if (ext == QLatin1String("odt")) {
        QTextDocumentWriter w(file, "odf");
        if (!w.write(&doc))
            throw DbError(QStringLiteral("Не удается записать %1").arg(file));
        return;
    }
    throw DbError(QStringLiteral("Неизвестный вид файла: %1 (pdf, html, txt, odt)").arg(file));
}

} // namespace varid
