#pragma once
#include "data/connection.h"
#include "data/rowset.h"
#include "data/storedproc.h"

namespace varid {

// The local data module: connection ADOC1 and its components.
struct DM {
    // `tag` tells apart the connections of a run's own data modules from the window's.
    explicit DM(const QString& tag = {});
    Connection ADOC1;
    TableCursor T_KTO, T_FIRMA, T_PERSONAL, T_XXX;
    Query Q1, Q2, Q3;
    StoredProc Ins_Realiz, Up_Realiz, DelXXX;
};

// The main data module: connection ADOC2 and its components. Q1DM..Q6DM run on the
// local connection of `DM`.
struct DM2 {
    explicit DM2(DM& local, const QString& tag = {});
    Connection ADOC2;
    TableCursor T_KTO, T_PERSONAL, T_ONOFF;
    Query Q1, Q2, Q7;
    Query Q1DM, Q2DM, Q3DM, Q4DM, Q5DM, Q6DM;
    StoredProc Ins_Klient;
    StoredProc Ins_Bilet, Up_Bilet, Ins_BLine, Del_BLine;
    StoredProc Ins_Prodlenie, Up_Prodlenie, Del_PROD_ALL;
    StoredProc Ins_Realiz, Up_Realiz, Del_Real_All;
    StoredProc Ins_Avans, Up_Avans;
    StoredProc Ins_Avans_Line, Del_Avans_Line;
    StoredProc Ins_Ostatok, Up_Ostatok;
    StoredProc Ins_GL_Book, Up_GL_Book, Del_GL_Book;
};

// The declared parameter lists, shared by the local and the main pair of sales procedures.
QVector<ParamDef> realizParams();

} // namespace varid
