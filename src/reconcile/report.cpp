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

QString figure(double v, bool money)
{
    return money ? QString::number(v, 'f', 2) : QString::number(v, 'f', 0);
}
} // namespace

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

std::unique_ptr<QTextDocument> actDocument(const QString& html, const QString& layoutFile)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    doc->setHtml(html);
    // A layout the engine renders as nothing (an element it takes for the whole document)
    // would print a blank act that looks like success.
    if (doc->toPlainText().trimmed().isEmpty())
        throw DbError(QStringLiteral("Макет отчета %1 выводится пустым листом: проверьте его разметку").arg(QDir::toNativeSeparators(layoutFile)));
    return doc;
}

void saveAct(QTextDocument& doc, const QString& file)
{
    const QString ext = QFileInfo(file).suffix().toLower();
    if (ext == QLatin1String("pdf")) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(15, 12, 12, 12), QPageLayout::Millimeter);
        doc.print(&printer); // the document numbers its pages at the foot
        if (!QFileInfo(file).isFile() || QFileInfo(file).size() == 0)
            throw DbError(QStringLiteral("Не удается записать %1").arg(file));
        return;
    }
    QFile out(file);
    if (ext == QLatin1String("html") || ext == QLatin1String("htm") || ext == QLatin1String("txt")) {
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw DbError(QStringLiteral("Не удается записать %1: %2").arg(file, out.errorString()));
        out.write((ext == QLatin1String("txt") ? doc.toPlainText() : doc.toHtml()).toUtf8());
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
