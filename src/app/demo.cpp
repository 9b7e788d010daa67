// varid-demo: makes a demo branch with its two embedded databases, or counts what the
// main database holds for it.
//
//   varid-demo DIR [--rows N] [--seed S] [--today dd.mm.yyyy] [--branch CODE] [--main FILE]
//   varid-demo --counts DIR
#include "data/embedded.h"
#include "data/dberror.h"
#include "data/values.h"
#include "reconcile/report.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cstdio>
#include <random>

using namespace varid;

namespace {

const QString kDefaultBranch = QStringLiteral("F0007");

void say(const QString& s)
{
    const QByteArray b = s.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
}

// A connection to one demo database file for the duration of the object.
class Db {
public:
    explicit Db(const QString& file) : name_(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(file);
        if (!db.open())
            throw DbError(db.lastError().text());
        db.transaction();
    }
    ~Db()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.commit();
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    void insert(const QString& table, const QStringList& cols, const QVariantList& values)
    {
        QStringList marks;
        for (int i = 0; i < cols.size(); ++i) marks << QStringLiteral("?");
        QSqlQuery q(QSqlDatabase::database(name_, false));
        q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (const QVariant& v : values)
            q.addBindValue(v.typeId() == QMetaType::QDateTime ? QVariant(storageText(v.toDateTime())) : v);
        if (!q.exec())
            throw DbError(table + QStringLiteral(": ") + q.lastError().text());
    }
    // Rows a chain's branches share (KTO, CHANGE, the main-only staff, the terrorist list):
    // added by the first branch that makes them.
    void insertOnce(const QString& table, const QStringList& cols, const QVariantList& values)
    {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        q.prepare(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2=?").arg(table, cols[0]));
        q.addBindValue(values[0]);
        if (q.exec() && q.next() && q.value(0).toInt() > 0)
            return;
        insert(table, cols, values);
    }
    qlonglong scalar(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.exec(sql) || !q.next())
            throw DbError(q.lastError().text());
        return q.value(0).toLongLong();
    }
    QString text(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.exec(sql) || !q.next())
            return QString();
        return q.value(0).toString();
    }

private:
    QString name_;
};

struct Maker {
    std::mt19937 rng;
    QDate today;
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    double money(int lo, int hi) { return pick(lo, hi) * 100 + pick(0, 1) * 50; }
    QDateTime day(int daysAgo) { return wallClock(today.addDays(-daysAgo)); }
};

const char* const kSurnames[] = {"Ахметов", "Беляева", "Волков", "Гусейнова", "Дмитриев", "Егорова", "Жуков",
                                 "Захарова", "Ибрагимов", "Ким", "Лебедев", "Мамедова", "Новиков", "Омарова",
                                 "Петров", "Родионова", "Сергеев", "Тимофеева", "Усманов", "Федорова", "O'Нил"};
const char* const kNames[] = {"Алексей", "Мария", "Нурлан", "Ольга", "Руслан", "Светлана", "Тимур", "Анна"};

void make(const QString& dir, int rows, unsigned seed, const QDate& today, const QString& kBranch, const QString& sharedMain)
{
    QDir().mkpath(dir);
    QFile ini(QDir(dir).filePath(QStringLiteral("Path.ini")));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw DbError(QStringLiteral("cannot write ") + ini.fileName());
    // The main database: the branch's own, or a chain's shared one named relative to the home.
    const QString mainFile = sharedMain.isEmpty() ? QDir(dir).filePath(QStringLiteral("main.db")) : QFileInfo(sharedMain).absoluteFilePath();
    const QString mainName = sharedMain.isEmpty() ? QStringLiteral("main.db") : QDir(QFileInfo(dir).absoluteFilePath()).relativeFilePath(mainFile);
    ini.write(QByteArray("GLServerIP:127.0.0.1\r\nServerName:localhost\r\nAdminName:sa\r\nAdminPass:1\r\n"
                         "Interval:30\r\nTimeOpen:9:00\r\nTimeClose:19:00\r\nStart:60\r\n"
                         "GLAliasName:") + mainName.toUtf8() + "\r\nLocalAliasName:local.db\r\n");
    ini.close();
    // The printed act's layout, beside Path.ini.
    QFile layout(QDir(dir).filePath(QStringLiteral("Akt_Sverki.RAV")));
    if (layout.open(QIODevice::WriteOnly | QIODevice::Truncate))
        layout.write(defaultLayout().toUtf8());
    const QString localFile = QDir(dir).filePath(QStringLiteral("local.db"));
    createEmbeddedDatabase(localFile, DbRole::Local);
    if (sharedMain.isEmpty() || !QFile::exists(mainFile)) {
        QDir().mkpath(QFileInfo(mainFile).absolutePath());
        createEmbeddedDatabase(mainFile, DbRole::Main);
    }

    Maker m{std::mt19937(seed), today};
    Db local(localFile);
    Db main(mainFile);
    auto both = [&](const QString& t, const QStringList& c, const QVariantList& v) { local.insert(t, c, v); main.insertOnce(t, c, v); };

    // Branches: this one is "ДА" on its own database.
    const QStringList ktoCols{QStringLiteral("KTO_KOD"), QStringLiteral("KTO_NAME"), QStringLiteral("KTO_ACTIV")};
    const QString ownName = kBranch == kDefaultBranch ? QStringLiteral("Ломбард №7, ул. Абая 15") : QStringLiteral("Ломбард ") + kBranch;
    local.insert(QStringLiteral("KTO"), ktoCols, {kBranch, ownName, QStringLiteral("ДА")});
    main.insertOnce(QStringLiteral("KTO"), ktoCols, {kBranch, ownName, QStringLiteral("НЕТ")});
    for (int b : {1, 2, 3}) {
        const QString code = QStringLiteral("F000%1").arg(b);
        if (code == kBranch)
            continue;
        local.insert(QStringLiteral("KTO"), ktoCols, {code, QStringLiteral("Ломбард №%1").arg(b), QStringLiteral("НЕТ")});
        main.insertOnce(QStringLiteral("KTO"), ktoCols, {code, QStringLiteral("Ломбард №%1").arg(b), QStringLiteral("НЕТ")});
    }
    main.insertOnce(QStringLiteral("KTO"), ktoCols, {QStringLiteral("F0009"), QStringLiteral("Ломбард №9, мкр. Самал"), QStringLiteral("НЕТ")});
    local.insert(QStringLiteral("FIRM"), {QStringLiteral("F_NOMER"), QStringLiteral("F_NAME"), QStringLiteral("F_TEL")},
                 {1, QStringLiteral("ТОО Тиверон"), QStringLiteral("+7 727 250-15-07")});
    local.insert(QStringLiteral("NASTROIKA"), {QStringLiteral("N_NAME"), QStringLiteral("N_VALUE")}, {QStringLiteral("VERSION"), QStringLiteral("12")});
    const QStringList changes{QStringLiteral("KASSA"), QStringLiteral("BILET"), QStringLiteral("REAL"), QStringLiteral("AVANS")};
    const QStringList changeNames{QStringLiteral("Касса"), QStringLiteral("Залоговые билеты"), QStringLiteral("Реализация"), QStringLiteral("Авансовые отчеты")};
    for (int i = 0; i < changes.size(); ++i)
        both(QStringLiteral("CHANGE"), {QStringLiteral("C_KOD"), QStringLiteral("C_NAME")}, {changes[i], changeNames[i]});

    // Staff: some on both sides, one only here, one only on the main database.
    const QStringList pCols{QStringLiteral("P_NID"), QStringLiteral("P_NAME"), QStringLiteral("P_LOGIN"), QStringLiteral("P_PASS"), QStringLiteral("P_KTO"), QStringLiteral("P_OGR")};
    for (int i = 1; i <= 4; ++i) {
        const QVariantList v{QStringLiteral("P%1-%2").arg(kBranch).arg(i), QString::fromUtf8(kSurnames[i]) + QLatin1Char(' ') + QString::fromUtf8(kNames[i]),
                             QStringLiteral("user%1").arg(i), QStringLiteral("pw%1").arg(i), kBranch, QStringLiteral("кассир")};
        if (i <= 3) both(QStringLiteral("PERSONAL"), pCols, v);
        else local.insert(QStringLiteral("PERSONAL"), pCols, v);
    }
    main.insertOnce(QStringLiteral("PERSONAL"), pCols, {QStringLiteral("P-HQ-1"), QStringLiteral("Центральный Аудитор"), QStringLiteral("audit"), QStringLiteral("pw"), QStringLiteral("F0001"), QStringLiteral("аудит")});
    local.insert(QStringLiteral("ONOFF"), {QStringLiteral("OO_NAME"), QStringLiteral("OO_DATA"), QStringLiteral("OO_KTO"), QStringLiteral("OO_ON"), QStringLiteral("OO_OFF")},
                 {QString::fromUtf8(kSurnames[1]), m.day(0), kBranch, QStringLiteral("09:00"), QString()});

    main.insertOnce(QStringLiteral("TERRORIST"), {QStringLiteral("T_NAME"), QStringLiteral("T_DR"), QStringLiteral("T_IIN"), QStringLiteral("T_PROCHEE"), QStringLiteral("T_NOMER")},
                {QStringLiteral("Неизвестный Н."), QStringLiteral("01.01.1970"), QStringLiteral("700101300001"), QStringLiteral("перечень 12"), QStringLiteral("1")});

    // Clients; the first third is already on the main database (the history).
    const QStringList kCols{QStringLiteral("K_NID"), QStringLiteral("K_FIO"), QStringLiteral("K_VID_DOK"), QStringLiteral("K_NOMER"), QStringLiteral("K_SERIA"),
                            QStringLiteral("K_KOGDA"), QStringLiteral("K_KEM"), QStringLiteral("K_ADRES"), QStringLiteral("K_TEL"), QStringLiteral("K_PROCHEE"),
                            QStringLiteral("K_KTO"), QStringLiteral("K_PHH"), QStringLiteral("K_PERSON"), QStringLiteral("K_EXPORT"), QStringLiteral("K_STATYS"),
                            QStringLiteral("K_CARD"), QStringLiteral("K_CARD_NOMER"), QStringLiteral("K_INN"), QStringLiteral("K_FOTO")};
    const int clients = std::max(3, rows);
    QStringList clientIds;
    for (int i = 1; i <= clients; ++i) {
        const QString id = QStringLiteral("K%1-%2").arg(kBranch).arg(i, 6, 10, QLatin1Char('0'));
        clientIds << id;
        const QString fio = QString::fromUtf8(kSurnames[m.pick(0, 20)]) + QLatin1Char(' ') + QString::fromUtf8(kNames[m.pick(0, 7)]);
        QVariantList v{id, fio, QStringLiteral("удостоверение"), QString::number(m.pick(10000000, 99999999)), QString(),
                       QStringLiteral("%1.%2.20%3").arg(m.pick(10, 28)).arg(m.pick(10, 12)).arg(m.pick(10, 20)), QStringLiteral("МВД РК"),
                       QStringLiteral("г. Алматы, ул. Сейфуллина %1").arg(m.pick(1, 200)), QStringLiteral("+7 701 %1").arg(m.pick(1000000, 9999999)),
                       QString(), kBranch, QString(), QStringLiteral("P%1-1").arg(kBranch), QStringLiteral("НЕТ"), QStringLiteral("1"),
                       QString(), QString(), QString::number(m.pick(100000000, 999999999)), QString()};
        local.insert(QStringLiteral("KLIENT"), kCols, v);
        if (i <= clients / 3) {
            if (i == 1) v[9] = QStringLiteral("постоянный клиент, скидка 5%"); // a note that comes back
            main.insert(QStringLiteral("KLIENT"), kCols, v);
        }
    }

    // Tickets with lines, one with a pledged car; extensions; ledger entries for each.
    const QStringList bCols{QStringLiteral("B_NID"), QStringLiteral("B_NOMER"), QStringLiteral("B_DATA"), QStringLiteral("B_K_NID"), QStringLiteral("B_TIP"),
                            QStringLiteral("B_OCEN"), QStringLiteral("B_SUMMA"), QStringLiteral("B_DATA_END"), QStringLiteral("B_PROC"), QStringLiteral("B_DAY"),
                            QStringLiteral("B_KEY"), QStringLiteral("B_KTO"), QStringLiteral("B_P_NID"), QStringLiteral("B_STATYS"), QStringLiteral("B_MASSA"),
                            QStringLiteral("B_MASSA_O"), QStringLiteral("B_DATA_VIK"), QStringLiteral("B_NEW_OLD"), QStringLiteral("B_SRAZY"), QStringLiteral("B_KOL_DAY"),
                            QStringLiteral("B_CARD"), QStringLiteral("B_RASCHET")};
    const QStringList gCols{QStringLiteral("G_NID"), QStringLiteral("G_DATA"), QStringLiteral("G_NOMER"), QStringLiteral("G_NOMER_N"), QStringLiteral("G_DEBET"),
                            QStringLiteral("G_KREDIT"), QStringLiteral("G_SUMMA"), QStringLiteral("G_KTO"), QStringLiteral("G_P_NID"), QStringLiteral("G_SODER"),
                            QStringLiteral("G_PRILO"), QStringLiteral("G_OTKYDA"), QStringLiteral("G_A_DT"), QStringLiteral("G_A_KT"), QStringLiteral("G_KEY"),
                            QStringLiteral("G_NEW_OLD"), QStringLiteral("G_B_NID"), QStringLiteral("G_STATYS"), QStringLiteral("G_KASSA")};
    int gl = 0;
    auto ledger = [&](const QDateTime& when, const QString& debet, const QString& kredit, double sum, const QString& origin,
                      const QString& client, const QString& ticket, const QString& text, bool sent) {
        ++gl;
        const QVariantList v{QStringLiteral("G%1-%2").arg(kBranch).arg(gl, 7, 10, QLatin1Char('0')), when, QString::number(gl), gl, debet, kredit, sum,
                             kBranch, QStringLiteral("P%1-1").arg(kBranch), text, QString(), origin, client, QString(),
                             QStringLiteral("GK%1").arg(gl), sent ? QStringLiteral("OLD") : QStringLiteral("NEW"), ticket,
                             gl % 17 == 0 ? QStringLiteral("0") : QStringLiteral("1"), QStringLiteral("1")};
        local.insert(QStringLiteral("GL_BOOK"), gCols, v);
        if (sent) main.insert(QStringLiteral("GL_BOOK"), gCols, v);
    };
    const int tickets = std::max(3, rows);
    for (int i = 1; i <= tickets; ++i) {
        const bool sent = i <= tickets / 3;
        const QDateTime opened = m.day(sent ? m.pick(6, 30) : m.pick(0, 4));
        const QString id = QStringLiteral("B%1-%2").arg(kBranch).arg(i, 6, 10, QLatin1Char('0'));
        const QString client = clientIds[m.pick(0, int(clientIds.size()) - 1)];
        const double sum = m.money(50, 900);
        const bool redeemed = m.pick(0, 3) == 0;
        const QVariantList v{id, i, opened, client, i % 7 == 0 ? QStringLiteral("авто") : QStringLiteral("золото"), sum * 1.3, sum,
                             opened.addDays(30), 0.5, 30, QStringLiteral("%1/%2").arg(kBranch).arg(i), kBranch, QStringLiteral("P%1-1").arg(kBranch),
                             redeemed ? QStringLiteral("выкуплен") : QStringLiteral("открыт"), m.pick(1, 50), m.pick(1, 40),
                             redeemed ? QVariant(opened.addDays(m.pick(1, 4))) : QVariant(), sent ? QStringLiteral("OLD") : QStringLiteral("NEW"),
                             QStringLiteral("НЕТ"), 30, QString(), 0};
        local.insert(QStringLiteral("BILET"), bCols, v);
        if (sent) main.insert(QStringLiteral("BILET"), bCols, v);
        const int lines = m.pick(1, 2);
        for (int l = 1; l <= lines; ++l) {
            const bool car = i % 7 == 0 && l == 1;
            const QString item = car ? QStringLiteral("A%1-%2").arg(kBranch).arg(i) : QStringLiteral("I-%1").arg(m.pick(1, 50));
            const QStringList blCols{QStringLiteral("BL_NID"), QStringLiteral("BL_NOMER"), QStringLiteral("BL_DATA"), QStringLiteral("BL_B_NID"),
                                     QStringLiteral("BL_I_NID"), QStringLiteral("BL_MASSA"), QStringLiteral("BL_KOL"), QStringLiteral("BL_SUMMA"),
                                     QStringLiteral("BL_PROCHEE"), QStringLiteral("BL_MASSA_O"), QStringLiteral("BL_KATEG")};
            const QVariantList bl{QStringLiteral("%1.%2").arg(id).arg(l), l, opened, id, item, m.pick(1, 30), 1, sum / lines,
                                  car ? QStringLiteral("Toyota Camry") : QStringLiteral("кольцо 585"), m.pick(1, 25), 1};
            local.insert(QStringLiteral("BILET_LINE"), blCols, bl);
            // A ticket sent earlier has its lines on the main database too: the demo's act agrees.
            if (sent)
                main.insert(QStringLiteral("BILET_LINE"), blCols, bl);
            if (car)
                local.insert(QStringLiteral("AUTO"),
                             {QStringLiteral("A_NID"), QStringLiteral("A_KTO"), QStringLiteral("A_MARKA"), QStringLiteral("A_MODEL"), QStringLiteral("A_GOSNOMER"),
                              QStringLiteral("A_DVIGAT"), QStringLiteral("A_KUZOV"), QStringLiteral("A_NOMER_TC"), QStringLiteral("A_COLOR"), QStringLiteral("A_GOD"), QStringLiteral("A_DATA_TC")},
                             {item, kBranch, QStringLiteral("Toyota"), QStringLiteral("Camry"), QStringLiteral("%1ABC02").arg(m.pick(100, 999)),
                              QStringLiteral("2AZ-%1").arg(m.pick(1000, 9999)), QStringLiteral("JT%1").arg(m.pick(100000, 999999)),
                              QStringLiteral("TC%1").arg(m.pick(10000, 99999)), QStringLiteral("белый"), QStringLiteral("2015"), m.day(900)});
        }
        ledger(opened, QStringLiteral("1250"), QStringLiteral("1010"), sum, QStringLiteral("BILET"), client, id, QStringLiteral("Выдача займа"), sent);
        if (m.pick(0, 2) == 0) {
            const QDateTime ext = opened.addDays(m.pick(0, 3));
            local.insert(QStringLiteral("PRODLENIE"),
                         {QStringLiteral("PRO_NID"), QStringLiteral("PRO_B_NID"), QStringLiteral("PRO_DATA"), QStringLiteral("PRO_SUMMA"), QStringLiteral("PRO_KTO"),
                          QStringLiteral("PRO_P_NID"), QStringLiteral("PRO_NEW_OLD"), QStringLiteral("PRO_KOL_DAY")},
                         {QStringLiteral("PR-%1").arg(id), id, ext, sum * 0.05, kBranch, QStringLiteral("P%1-1").arg(kBranch), QStringLiteral("NEW"), 30});
            ledger(ext, QStringLiteral("1010"), QStringLiteral("6280"), sum * 0.05, QStringLiteral("KASSA"), client, id, QStringLiteral("Вознаграждение"), false);
        }
    }

    // Sales: own ones, and other branches' ones addressed to this branch.
    const QStringList rCols{QStringLiteral("REA_NID"), QStringLiteral("REA_DATA"), QStringLiteral("REA_NOMER"), QStringLiteral("REA_B_NID"), QStringLiteral("REA_OPIS"),
                            QStringLiteral("REA_SSUDA"), QStringLiteral("REA_TIP"), QStringLiteral("REA_DATA_REAL"), QStringLiteral("REA_CENA"), QStringLiteral("REA_KTO"),
                            QStringLiteral("REA_KEY"), QStringLiteral("REA_NEW_OLD"), QStringLiteral("REA_EXPORT"), QStringLiteral("REA_IMPORT")};
    const int sales = std::max(2, rows / 4);
    for (int i = 1; i <= sales; ++i) {
        const QDateTime d = m.day(m.pick(0, 4));
        local.insert(QStringLiteral("REALIZ"), rCols,
                     {QStringLiteral("R%1-%2").arg(kBranch).arg(i), d, i, QString(), QStringLiteral("цепь 585"), m.money(20, 200), QStringLiteral("золото"),
                      i % 2 ? QVariant(d.addDays(1)) : QVariant(), m.money(30, 300), kBranch, QVariant(), QStringLiteral("NEW"), QString(), QString()});
    }
    for (int i = 1; i <= 2; ++i)
        main.insert(QStringLiteral("REALIZ"), rCols,
                    {QStringLiteral("F0009S%1-%2").arg(kBranch).arg(i), m.day(i), i, QString(), QStringLiteral("серьги 585"), m.money(20, 200), QStringLiteral("золото"),
                     QVariant(), m.money(30, 300), QStringLiteral("F0009"), QStringLiteral("F0009S%1-%2").arg(kBranch).arg(i), QStringLiteral("NEW"), QStringLiteral("F0009"), kBranch});

    // Advance reports with their lines, and monthly balances.
    for (int i = 1; i <= std::max(1, rows / 5); ++i) {
        const QString av = QStringLiteral("AV%1-%2").arg(kBranch).arg(i);
        const QDateTime d = m.day(m.pick(0, 4));
        const QString person = clientIds[m.pick(0, int(clientIds.size()) - 1)];
        const double s1 = m.money(5, 50), s2 = m.money(1, 20);
        local.insert(QStringLiteral("AVANS"),
                     {QStringLiteral("AV_NID"), QStringLiteral("AV_DATA"), QStringLiteral("AV_NOMER"), QStringLiteral("AV_PERSON"), QStringLiteral("AV_OPIS"),
                      QStringLiteral("AV_SUM1"), QStringLiteral("AV_SUM2"), QStringLiteral("AV_SUM3"), QStringLiteral("AV_KTO"), QStringLiteral("AV_STATYS"), QStringLiteral("AV_NEW_OLD")},
                     {av, d, i, person, QStringLiteral("хозяйственные расходы"), s1, s2, 0, kBranch, QStringLiteral("1"), QStringLiteral("NEW")});
        for (int l = 1; l <= 2; ++l)
            local.insert(QStringLiteral("AVANS_LINE"),
                         {QStringLiteral("AVL_NID"), QStringLiteral("AVL_DATA"), QStringLiteral("AVL_NOMER"), QStringLiteral("AVL_K_NID"), QStringLiteral("AVL_OPIS"),
                          QStringLiteral("AVL_SUMMA"), QStringLiteral("AVL_NDS"), QStringLiteral("AVL_DEBET"), QStringLiteral("AVL_AV_NID")},
                         {QStringLiteral("%1.%2").arg(av).arg(l), d, l, person, l == 1 ? QStringLiteral("канцтовары") : QStringLiteral("вода"),
                          l == 1 ? s1 : s2, 0, QStringLiteral("7210"), av});
        ledger(d, QStringLiteral("1251"), QStringLiteral("1010"), s1 + s2, QStringLiteral("AVANS"), person, QString(), QStringLiteral("Подотчет"), false);
    }
    const QStringList accounts{QStringLiteral("1010"), QStringLiteral("1250"), QStringLiteral("6280")};
    for (int k = 0; k < accounts.size(); ++k)
        local.insert(QStringLiteral("OSTATOK"),
                     {QStringLiteral("O_NID"), QStringLiteral("O_SCHET"), QStringLiteral("O_DEBET"), QStringLiteral("O_KREDIT"), QStringLiteral("O_MESIC"),
                      QStringLiteral("O_GOD"), QStringLiteral("O_KTO"), QStringLiteral("O_NEW_OLD"), QStringLiteral("O_KASSA")},
                     {QStringLiteral("O%1-%2").arg(kBranch).arg(k), accounts[k], m.money(100, 5000), m.money(100, 5000), today.month(), today.year(),
                      kBranch, QStringLiteral("NEW"), QString()});
}

int counts(const QString& dir)
{
    const QString localFile = QDir(dir).filePath(QStringLiteral("local.db"));
    // The main database as Path.ini names it (line 9), relative to the home folder.
    QString mainFile = QDir(dir).filePath(QStringLiteral("main.db"));
    QFile ini(QDir(dir).filePath(QStringLiteral("Path.ini")));
    if (ini.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = ini.readAll().split('\n');
        if (lines.size() >= 9)
            mainFile = QDir(dir).filePath(QString::fromUtf8(lines[8].mid(12)).trimmed());
    }
    if (!QFile::exists(localFile) || !QFile::exists(mainFile)) {
        std::fprintf(stderr, "varid-demo: no demo databases in %s\n", dir.toLocal8Bit().constData());
        return 1;
    }
    QString kto;
    {
        Db local(localFile);
        kto = local.text(QStringLiteral("SELECT KTO_KOD FROM KTO WHERE KTO_ACTIV='ДА'"));
    }
    Db main(mainFile);
    const QString k = QStringLiteral("'") + kto + QStringLiteral("'");
    const struct { const char* table; QString where; } rows[] = {
        {"KLIENT", QStringLiteral("K_KTO=") + k},
        {"PERSONAL", QStringLiteral("P_KTO=") + k},
        {"ONOFF", QStringLiteral("OO_KTO=") + k},
        {"BILET", QStringLiteral("B_KTO=") + k},
        {"BILET_LINE", QStringLiteral("BL_B_NID IN (SELECT B_NID FROM BILET WHERE B_KTO=%1)").arg(k)},
        {"AUTO", QStringLiteral("A_KTO=") + k},
        {"PRODLENIE", QStringLiteral("PRO_KTO=") + k},
        {"REALIZ", QStringLiteral("REA_KTO=") + k},
        {"AVANS", QStringLiteral("AV_KTO=") + k},
        {"AVANS_LINE", QStringLiteral("AVL_AV_NID IN (SELECT AV_NID FROM AVANS WHERE AV_KTO=%1)").arg(k)},
        {"OSTATOK", QStringLiteral("O_KTO=") + k},
        {"GL_BOOK", QStringLiteral("G_KTO=") + k},
    };
    say(QStringLiteral("Главная база, строки филиала %1:").arg(kto));
    for (const auto& r : rows)
        say(QStringLiteral("  %1 %2").arg(QString::fromLatin1(r.table), -12)
                .arg(main.scalar(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(QString::fromLatin1(r.table), r.where))));
    const QString stamp = main.text(QStringLiteral("SELECT KTO_EXPORT FROM KTO WHERE KTO_KOD=") + k);
    say(QStringLiteral("  KTO_EXPORT   ") + (stamp.isEmpty() ? QStringLiteral("(нет)") : stamp));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 2 && args[0] == QLatin1String("--counts"))
            return counts(args[1]);
        QString dir, branch = kDefaultBranch, sharedMain;
        int rows = 20;
        unsigned seed = 7;
        QDate today = QDate::currentDate();
        for (int i = 0; i < args.size(); ++i) {
            if (args[i] == QLatin1String("--rows") && i + 1 < args.size()) rows = args[++i].toInt();
            else if (args[i] == QLatin1String("--seed") && i + 1 < args.size()) seed = args[++i].toUInt();
            else if (args[i] == QLatin1String("--today") && i + 1 < args.size()) {
                const auto d = parseDateText(args[++i]);
                if (!d) throw DbError(QStringLiteral("--today takes dd.mm.yyyy"));
                today = d->date();
            } else if (args[i] == QLatin1String("--branch") && i + 1 < args.size()) {
                branch = args[++i];
                if (branch.isEmpty() || branch.size() > 5 || branch.contains(QLatin1Char('\'')))
                    throw DbError(QStringLiteral("--branch takes a code of at most 5 characters"));
            } else if (args[i] == QLatin1String("--main") && i + 1 < args.size()) sharedMain = args[++i];
            else if (dir.isEmpty() && !args[i].startsWith(QLatin1String("--"))) dir = args[i];
            else throw DbError(QStringLiteral("unknown argument: ") + args[i]);
        }
        if (dir.isEmpty() || rows < 1)
            throw DbError(QStringLiteral("usage: varid-demo DIR [--rows N] [--seed S] [--today dd.mm.yyyy] [--branch CODE] [--main FILE] | --counts DIR"));
        make(dir, rows, seed, today, branch, sharedMain);
        say(QStringLiteral("demo branch %1 made in %2 (%3 rows a kind)").arg(branch, dir).arg(rows));
        return 0;
    } catch (const DbError& e) {
        std::fprintf(stderr, "varid-demo: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
}
