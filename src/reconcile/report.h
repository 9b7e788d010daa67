#pragma once
// The printed act: our own layout file Akt_Sverki.RAV (an HTML page with place holders and
// repeated blocks, see packaging/Akt_Sverki.RAV) filled with the print set and rendered by
// Qt's text document: to PDF, HTML, plain text or an ODF document. No widgets here.
#include "reconcile/act.h"

#include <QDateTime>
#include <QString>

#include <memory>

class QTextDocument;

namespace varid {

// The layout beside Path.ini; throws DbError naming the file when it is missing or unreadable.
QString layoutPath(const QString& home);
QString loadLayout(const QString& home);
// The default layout the program ships (written by the demo and the service install).
QString defaultLayout();

// The layout filled in; throws DbError when the layout lacks its row block.
QString renderAct(const QString& layout, const ReportHeader& header, const QVector<ActRow>& rows);
// The act as a document, or into one (the preview's, again after a repair); a layout rendered
// blank is an error naming `layoutFile`.
void fillActDocument(QTextDocument& doc, const QString& html, const QString& layoutFile = {});
std::unique_ptr<QTextDocument> actDocument(const QString& html, const QString& layoutFile = {});

// The act as plain text: its heading, then each section as a table, one row a line, the
// columns aligned (for .txt).
QString actText(const ReportHeader& header, const QVector<ActRow>& rows);
// An amount as the act prints it: two decimals, thousands apart by a blank ("12 345.67");
// a count without decimals.
QString actFigure(double v, bool money, QChar blank = QChar(0x00A0));

// Writes the document by the file's ending: .pdf, .html/.htm, .txt, .odt; throws DbError.
// A .txt file takes `text` (actText) where it is given.
void saveAct(QTextDocument& doc, const QString& file, const QString& text = {});

} // namespace varid
