#include "data/datamodules.h"

namespace varid {

namespace {
ParamDef txt(const char* n, int size) { return {QString::fromLatin1(n), ParamType::Text, size}; }
ParamDef dt(const char* n) { return {QString::fromLatin1(n), ParamType::DateTime, 0}; }
ParamDef dec(const char* n, int precision) { return {QString::fromLatin1(n), ParamType::Decimal, precision}; }
ParamDef flt(const char* n) { return {QString::fromLatin1(n), ParamType::Float, 7}; }
ParamDef i16(const char* n) { return {QString::fromLatin1(n), ParamType::SmallInt, 0}; }
ParamDef i32(const char* n) { return {QString::fromLatin1(n), ParamType::Integer, 0}; }

QVector<ParamDef> klientParams()
{
    return {txt("@K_NID", 20), txt("@K_FIO", 100), txt("@K_VID_DOK", 30), txt("@K_NOMER", 30),
            txt("@K_SERIA", 30), txt("@K_KOGDA", 30), txt("@K_KEM", 30), txt("@K_ADRES", 150),
            txt("@K_TEL", 150), txt("@K_PROCHEE", 250), txt("@K_KTO", 5), txt("@K_PHH", 12),
            txt("@K_PERSON", 20), txt("@K_EXPORT", 3), txt("@K_STATYS", 1), txt("@K_CARD", 8),
            txt("@K_CARD_NOMER", 20), txt("@K_INN", 20), txt("@K_FOTO", 100)};
}

QVector<ParamDef> biletParams()
{
    return {txt("@B_NID", 20), flt("@B_NOMER"), dt("@B_DATA"), txt("@B_K_NID", 20), txt("@B_TIP", 15),
            dec("@B_OCEN", 19), dec("@B_SUMMA", 19), dt("@B_DATA_END"), dec("@B_PROC", 10),
            dec("@B_DAY", 19), txt("@B_KEY", 25), txt("@B_KTO", 5), txt("@B_P_NID", 20),
            txt("@B_STATYS", 20), dec("@B_MASSA", 19), dec("@B_MASSA_O", 19), dt("@B_DATA_VIK"),
            txt("@B_NEW_OLD", 3), txt("@B_SRAZY", 3), i16("@B_KOL_DAY"), txt("@B_CARD", 8),
            i16("@B_RASCHET")};
}

QVector<ParamDef> bilinParams()
{
    return {flt("@BL_NOMER"), dt("@BL_DATA"), txt("@BL_B_NID", 20), txt("@BL_I_NID", 20),
            dec("@BL_MASSA", 19), i16("@BL_KOL"), txt("@BL_KA_NID", 20), txt("@BL_PR_NID", 20),
            dec("@BL_SUMMA", 19), txt("@BL_PROCHEE", 500), dec("@BL_MASSA_O", 19), i16("@BL_KATEG")};
}

QVector<ParamDef> prodlenieParams()
{
    return {txt("@PRO_B_NID", 20), dt("@PRO_DATA"), dec("@PRO_SUMMA", 19), txt("@PRO_KTO", 5),
            txt("@PRO_P_NID", 20), txt("@PRO_NEW_OLD", 3), i16("@PRO_KOL_DAY")};
}

QVector<ParamDef> avansParams()
{
    return {txt("@AV_NID", 20), dt("@AV_DATA"), dec("@AV_NOMER", 10), txt("@AV_PERSON", 20),
            txt("@AV_OPIS", 50), txt("@AV_OS_PER", 1), dec("@AV_OS_SUM", 19), txt("@AV_OT1", 20),
            txt("@AV_OT2", 20), txt("@AV_OT3", 20), dt("@AV_DATA1"), dt("@AV_DATA2"), dt("@AV_DATA3"),
            dec("@AV_SUM1", 19), dec("@AV_SUM2", 19), dec("@AV_SUM3", 19), txt("@AV_KREDIT", 8),
            txt("@AV_KTO", 5), txt("@AV_P_NID", 20), txt("@AV_STATYS", 20), txt("@AV_NEW_OLD", 3)};
}

QVector<ParamDef> avansLineParams()
{
    return {dt("@AVL_DATA"), dec("@AVL_NOMER", 10), txt("@AVL_K_NID", 20), txt("@AVL_OPIS", 50),
            dec("@AVL_SUMMA", 19), dec("@AVL_NDS", 19), txt("@AVL_DEBET", 8), txt("@AVL_AV_NID", 20)};
}

QVector<ParamDef> ostatokParams()
{
    return {txt("@O_SCHET", 8), dec("@O_DEBET", 19), dec("@O_KREDIT", 19), i16("@O_MESIC"),
            i16("@O_GOD"), txt("@O_KTO", 5), txt("@O_P_NID", 20), txt("@O_NEW_OLD", 3),
            dec("@O_VES", 19), txt("@O_KASSA", 20)};
}

QVector<ParamDef> glBookParams()
{
    return {txt("@G_NID", 20), dt("@G_DATA"), txt("@G_NOMER", 20), i32("@G_NOMER_N"),
            txt("@G_DEBET", 8), txt("@G_KREDIT", 8), dec("@G_SUMMA", 19), txt("@G_KTO", 5),
            txt("@G_P_NID", 20), txt("@G_SODER", 50), txt("@G_PRILO", 60), txt("@G_OTKYDA", 50),
            txt("@G_A_DT", 20), txt("@G_A_KT", 20), txt("@G_KEY", 30), txt("@G_NEW_OLD", 3),
            txt("@G_B_NID", 20), txt("@G_STATYS", 1), txt("@G_KASSA", 20)};
}
} // namespace

QVector<ParamDef> realizParams()
{
    return {dt("@REA_DATA"), dec("@REA_NOMER", 19), txt("@REA_B_NID", 20), txt("@REA_I_NID", 20),
            txt("@REA_OPIS", 30), dec("@REA_MASSA_O", 10), dec("@REA_SSUDA", 19), dec("@REA_PROC", 19),
            dec("@REA_OCEN", 19), dec("@REA_REAL", 19), dec("@REA_SUM_REAL", 19), txt("@REA_TIP", 20),
            dt("@REA_DATA_REAL"), dec("@REA_CENA", 19), txt("@REA_KTO", 5), txt("@REA_P_NID", 20),
            txt("@REA_KEY", 30), txt("@REA_NEW_OLD", 3), txt("@REA_KP_NID", 20), dec("@REA_SKIDKA", 19),
            txt("@REA_EXPORT", 5), txt("@REA_IMPORT", 5), dec("@REA_MASSA", 10), txt("@REA_PR_NID", 20),
            txt("@REA_KA_NID", 20), txt("@REA_KR_NID", 20), dec("@REA_KR_NOMER", 19)};
}

DM::DM(const QString& tag)
    : ADOC1(QStringLiteral("ADOC1") + tag),
      T_KTO(ADOC1, QStringLiteral("KTO")), T_FIRMA(ADOC1, QStringLiteral("FIRM")),
      T_PERSONAL(ADOC1, QStringLiteral("PERSONAL")), T_XXX(ADOC1, QStringLiteral("XXX")),
      Q1(ADOC1), Q2(ADOC1), Q3(ADOC1),
      Ins_Realiz(ADOC1, QStringLiteral("Ins_Realiz;1"), realizParams()),
      Up_Realiz(ADOC1, QStringLiteral("Up_Realiz;1"), realizParams()),
      DelXXX(ADOC1, QStringLiteral("DelXXX;1"), {txt("@User_NID", 20)})
{
    ADOC1.setDurable(false); // everything written here is re-derived by the next run
}

DM2::DM2(DM& local, const QString& tag)
    : ADOC2(QStringLiteral("ADOC2") + tag),
      T_KTO(ADOC2, QStringLiteral("KTO")), T_PERSONAL(ADOC2, QStringLiteral("PERSONAL")),
      T_ONOFF(ADOC2, QStringLiteral("ONOFF")),
      Q1(ADOC2), Q2(ADOC2), Q7(ADOC2),
      Q1DM(local.ADOC1), Q2DM(local.ADOC1), Q3DM(local.ADOC1), Q4DM(local.ADOC1),
      Q5DM(local.ADOC1), Q6DM(local.ADOC1),
      Ins_Klient(ADOC2, QStringLiteral("Ins_Klient;1"), klientParams()),
      Ins_Bilet(ADOC2, QStringLiteral("Ins_BILET;1"), biletParams()),
      Up_Bilet(ADOC2, QStringLiteral("UP_BILET;1"), biletParams()),
      Ins_BLine(ADOC2, QStringLiteral("Ins_Bilet_Line;1"), bilinParams()),
      Del_BLine(ADOC2, QStringLiteral("Del_Bilet_Line;1"), {txt("@BL_B_NID", 20), dt("@BL_DATA"), flt("@BL_NOMER")}),
      Ins_Prodlenie(ADOC2, QStringLiteral("Ins_Prodlenie;1"), prodlenieParams()),
      Up_Prodlenie(ADOC2, QStringLiteral("Up_Prodlenie;1"), prodlenieParams()),
      Del_PROD_ALL(ADOC2, QStringLiteral("Del_PROD_ALL;1"), {txt("@PRO_KTO", 20), dt("@PRO_DATA_C"), dt("@PRO_DATA_PO")}),
      Ins_Realiz(ADOC2, QStringLiteral("Ins_Realiz;1"), realizParams()),
      Up_Realiz(ADOC2, QStringLiteral("Up_Realiz;1"), realizParams()),
      Del_Real_All(ADOC2, QStringLiteral("Del_Realiz_ALL;1"), {dt("@REA_DATA_C"), dt("@REA_DATA_PO"), txt("@REA_KTO", 5)}),
      Ins_Avans(ADOC2, QStringLiteral("Ins_Avans;1"), avansParams()),
      Up_Avans(ADOC2, QStringLiteral("Up_Avans;1"), avansParams()),
      Ins_Avans_Line(ADOC2, QStringLiteral("Ins_Avans_Line;1"), avansLineParams()),
      Del_Avans_Line(ADOC2, QStringLiteral("Del_Avans_Line;1"), {txt("@AVl_AV_NID", 20)}),
      Ins_Ostatok(ADOC2, QStringLiteral("Ins_Ostatok;1"), ostatokParams()),
      Up_Ostatok(ADOC2, QStringLiteral("Up_Ostatok;1"), ostatokParams()),
      Ins_GL_Book(ADOC2, QStringLiteral("Ins_GL_Book;1"), glBookParams()),
      Up_GL_Book(ADOC2, QStringLiteral("Up_GL_BOOK;1"), glBookParams()),
      Del_GL_Book(ADOC2, QStringLiteral("Del_GL_BOOK;1"), {txt("@G_KTO", 20), dt("@G_DATA_C"), dt("@G_DATA_PO")})
{
}

} // namespace varid
