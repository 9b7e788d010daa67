/* The floors Varid's first run is measured against, on the same two demo databases, each
 * with Varid's own durability (the main database synchronous FULL, a commit there before any
 * mark; the branch's database synchronous NORMAL, its marks in groups committed after their
 * rows' main commits) and no more:
 *   floor perrow LOCAL MAIN KTO   the bare per-row protocol: every selected row looked up on
 *                                 the main database and written in its own transaction, then
 *                                 marked (marks committed 256 at a time); statements prepared
 *                                 once, WAL, the walk read from a second connection as Varid
 *                                 reads it.
 *   floor batched LOCAL MAIN KTO  the same in batches of 100 rows: one lookup statement for
 *                                 the batch's keys, one transaction for its writes, then its
 *                                 marks; children deleted and inserted 100 a transaction.
 *   floor batched-unordered ...   the batched floor as it was before: the selections in no
 *                                 order, nothing but the walks.
 *   floor bulk LOCAL MAIN KTO     one INSERT ... SELECT a table, one transaction: no per-row
 *                                 durability at all, the lower bound of any copy.
 *   floor perrow LOCAL MAIN KTO N the per-row pass N times in one process (on a branch with
 *                                 nothing new: what a running program pays each interval).
 * All copy every column as stored and leave the main database with the same rows a kind
 * as Varid (identifiers the main procedures generate differ). The per-row and batched floors
 * walk each kind in Varid's order (the order its log lines and a broken-off run's sent rows
 * follow), and do what every run does besides (every_run). */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static void die(sqlite3* db, const char* what)
{
    fprintf(stderr, "floor: %s: %s\n", what, db ? sqlite3_errmsg(db) : "");
    exit(1);
}

static sqlite3* open_db(const char* file, const char* sync)
{
    sqlite3* db;
    if (sqlite3_open(file, &db) != SQLITE_OK) die(db, file);
    sqlite3_busy_timeout(db, 10000);
    char sql[128];
    snprintf(sql, sizeof sql, "PRAGMA journal_mode=WAL; PRAGMA synchronous=%s;", sync);
    if (sqlite3_exec(db, sql, 0, 0, 0) != SQLITE_OK) die(db, "pragma");
    return db;
}

static sqlite3_stmt* prep(sqlite3* db, const char* sql)
{
    sqlite3_stmt* s;
    if (sqlite3_prepare_v2(db, sql, -1, &s, 0) != SQLITE_OK) die(db, sql);
    return s;
}

static void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, 0, 0, 0) != SQLITE_OK) die(db, sql);
}

/* One kind: the selection (? = branch) in the order Varid walks it, the key columns for the lookup and, for rows marked
 * after their copy, the marking statement's key column. Children (lines) are deleted by
 * `delete_by` and inserted, never marked. */
struct kind {
    const char* table;
    const char* select;
    const char* lookup_cols[4];
    const char* mark; /* UPDATE ... WHERE <col>=? ; NULL: not marked */
    const char* mark_col;
    const char* delete_by; /* children: DELETE FROM t WHERE <col>=? before inserting */
};

static const struct kind kinds[] = {
    {"KLIENT", "SELECT * FROM KLIENT Where K_NID In(SELECT B_K_NID From BILET WHERE B_NEW_OLD='NEW') "
               "or K_NID In(SELECT G_A_DT From GL_BOOK WHERE G_NEW_OLD='NEW') or K_NID In(SELECT G_A_KT From GL_BOOK WHERE G_NEW_OLD='NEW') "
               "or K_NID In(SELECT AV_PERSON From AVANS WHERE AV_NEW_OLD='NEW') "
               "or K_NID In(SELECT AVL_K_NID From AVANS_LINE WHERE AVL_AV_NID In (SELECT AV_NID From AVANS WHERE AV_NEW_OLD='NEW')) Order By K_FIO",
     {"K_NID"}, NULL, NULL, NULL},
    {"AUTO", "SELECT * FROM AUTO Where A_NID in (SELECT BL_I_NID FROM BILET_LINE Where BL_B_NID in (Select B_NID From BILET Where B_NEW_OLD='NEW' and B_KTO=?1)) Order By A_MARKA, A_MODEL",
     {"A_NID"}, NULL, NULL, NULL},
    {"BILET_LINE", "SELECT * FROM BILET_LINE Where BL_B_NID in (Select B_NID From BILET Where B_NEW_OLD='NEW' and B_KTO=?1) Order By BL_DATA, BL_NOMER",
     {NULL}, NULL, NULL, "BL_B_NID"},
    {"BILET", "SELECT * FROM BILET Where B_NEW_OLD='NEW' and B_KTO=?1 Order By B_DATA, B_NOMER", {"B_NID"}, "UPDATE BILET SET B_NEW_OLD='OLD' WHERE B_NID=?", "B_NID", NULL},
    {"PRODLENIE", "SELECT * FROM PRODLENIE Where PRO_NEW_OLD='NEW' and PRO_KTO=?1 Order By PRO_DATA", {"PRO_DATA", "PRO_B_NID", "PRO_KTO"},
     "UPDATE PRODLENIE SET PRO_NEW_OLD='OLD' WHERE PRO_NID=?", "PRO_NID", NULL},
    {"REALIZ", "SELECT * FROM REALIZ Where REA_NEW_OLD='NEW' and REA_KTO=?1 Order By REA_DATA, REA_NOMER", {"REA_KEY"}, "UPDATE REALIZ SET REA_NEW_OLD='OLD' WHERE REA_NID=?", "REA_NID", NULL},
    {"AVANS_LINE", "SELECT * FROM AVANS_LINE Where AVL_AV_NID in (Select AV_NID From AVANS Where AV_NEW_OLD='NEW' and AV_KTO=?1) Order By AVL_DATA, AVL_NOMER",
     {NULL}, NULL, NULL, "AVL_AV_NID"},
    {"AVANS", "SELECT * FROM AVANS Where AV_NEW_OLD='NEW' and AV_KTO=?1 Order By AV_DATA, AV_NOMER", {"AV_NID"}, "UPDATE AVANS SET AV_NEW_OLD='OLD' WHERE AV_NID=?", "AV_NID", NULL},
    {"OSTATOK", "SELECT * FROM OSTATOK Where O_NEW_OLD='NEW' and O_KTO=?1 Order By O_MESIC, O_SCHET", {"O_KTO", "O_GOD", "O_MESIC", "O_SCHET"},
     "UPDATE OSTATOK SET O_NEW_OLD='OLD' WHERE O_NID=?", "O_NID", NULL},
    {"GL_BOOK", "SELECT * FROM GL_BOOK Where G_NEW_OLD='NEW' and G_KTO=?1 Order By G_DATA, G_NOMER", {"G_NID"}, "UPDATE GL_BOOK SET G_NEW_OLD='OLD' WHERE G_NID=?", "G_NID", NULL},
};

static int column_of(sqlite3_stmt* s, const char* name)
{
    for (int i = 0; i < sqlite3_column_count(s); ++i)
        if (strcasecmp(sqlite3_column_name(s, i), name) == 0) return i;
    return -1;
}

#define BATCH 100
#define MARK_GROUP 256

/* A walk in batches: up to `batch` rows copied (sqlite3_value_dup), one lookup statement for
 * all their keys (a UNION ALL of the row's lookup, as Varid sends it), one transaction of
 * their inserts, then their marks in the branch's open mark group. */
static long batched(const struct kind* K, sqlite3_stmt* sel, int n, sqlite3_stmt* ins, sqlite3_stmt* look1,
                    const char* where, int nkeys, const int* keys, sqlite3_stmt* mark, int markcol,
                    sqlite3* main, sqlite3* local, int batch, int* marked)
{
    (void)look1;
    long copied = 0;
    sqlite3_value** rows = calloc((size_t)batch * (size_t)n, sizeof *rows);
    sqlite3_stmt* looks[BATCH + 1] = {0};
    int more = 1;
    while (more) {
        int got = 0;
        while (got < batch && (more = sqlite3_step(sel) == SQLITE_ROW)) {
            for (int i = 0; i < n; ++i) rows[got * n + i] = sqlite3_value_dup(sqlite3_column_value(sel, i));
            ++got;
        }
        if (!got) break;
        char found[BATCH] = {0};
        if (nkeys) {
            if (!looks[got]) {
                size_t len = (size_t)got * (strlen(where) + 80) + 64;
                char* q = malloc(len);
                q[0] = 0;
                for (int r = 0; r < got; ++r) {
                    char part[768];
                    snprintf(part, sizeof part, "%sSELECT %d FROM %s WHERE %s", r ? " UNION ALL " : "", r, K->table, where);
                    strcat(q, part);
                }
                looks[got] = prep(main, q);
                free(q);
            }
            sqlite3_stmt* look = looks[got];
            for (int r = 0; r < got; ++r)
                for (int k = 0; k < nkeys; ++k) sqlite3_bind_value(look, r * nkeys + k + 1, rows[r * n + keys[k]]);
            while (sqlite3_step(look) == SQLITE_ROW) found[sqlite3_column_int(look, 0)] = 1;
            sqlite3_reset(look);
        }
        exec(main, "BEGIN");
        for (int r = 0; r < got; ++r) {
            if (found[r]) continue; /* an update of a found row costs the same write */
            for (int i = 0; i < n; ++i) sqlite3_bind_value(ins, i + 1, rows[r * n + i]);
            if (sqlite3_step(ins) != SQLITE_DONE) die(main, "insert");
            sqlite3_reset(ins);
        }
        exec(main, "COMMIT");
        for (int r = 0; r < got; ++r) {
            if (mark) {
                if (*marked == 0) exec(local, "BEGIN");
                sqlite3_bind_value(mark, 1, rows[r * n + markcol]);
                if (sqlite3_step(mark) != SQLITE_DONE) die(local, "mark");
                sqlite3_reset(mark);
                if (++*marked == MARK_GROUP) { exec(local, "COMMIT"); *marked = 0; }
            }
            for (int i = 0; i < n; ++i) sqlite3_value_free(rows[r * n + i]);
            ++copied;
        }
    }
    for (int i = 0; i <= BATCH; ++i) if (looks[i]) sqlite3_finalize(looks[i]);
    free(rows);
    return copied;
}

/* What every run does besides the walks, with the same durability: the staff come down (a
 * row a transaction on the branch's database), today's attendance goes up and the branch's
 * stamp is set (a commit each on the main database), and the sales of the branch's pledges
 * made elsewhere are read on the main database and looked up on the branch's. */
static void every_run(sqlite3* local, sqlite3* main, const char* kto)
{
    sqlite3_stmt* staff = prep(main, "SELECT P_NAME, P_LOGIN, P_PASS, P_KTO, P_OGR, P_NID FROM PERSONAL ORDER BY P_NAME");
    sqlite3_stmt* put = prep(local, "UPDATE PERSONAL SET P_NAME=?,P_LOGIN=?,P_PASS=?,P_KTO=?,P_OGR=? WHERE P_NID=?");
    while (sqlite3_step(staff) == SQLITE_ROW) {
        exec(local, "BEGIN IMMEDIATE");
        for (int i = 0; i < 6; ++i) sqlite3_bind_value(put, i + 1, sqlite3_column_value(staff, i));
        if (sqlite3_step(put) != SQLITE_DONE) die(local, "staff");
        sqlite3_reset(put);
        exec(local, "COMMIT");
    }
    sqlite3_finalize(staff); sqlite3_finalize(put);
    sqlite3_stmt* day = prep(local, "SELECT OO_NAME, OO_DATA, OO_KTO, OO_ON, OO_OFF FROM ONOFF "
                                    "WHERE OO_DATA=strftime('%Y-%m-%d 00:00:00','now','localtime') AND OO_KTO=?1");
    sqlite3_bind_text(day, 1, kto, -1, SQLITE_STATIC);
    sqlite3_stmt* up = prep(main, "UPDATE ONOFF SET OO_ON=?4, OO_OFF=?5 WHERE OO_NAME=?1 AND OO_DATA=?2 AND OO_KTO=?3");
    exec(main, "BEGIN IMMEDIATE");
    while (sqlite3_step(day) == SQLITE_ROW) {
        for (int i = 0; i < 5; ++i) sqlite3_bind_value(up, i + 1, sqlite3_column_value(day, i));
        sqlite3_step(up); sqlite3_reset(up);
    }
    exec(main, "COMMIT");
    sqlite3_finalize(day); sqlite3_finalize(up);
    sqlite3_stmt* incoming = prep(main, "SELECT * FROM REALIZ Where REA_NEW_OLD='NEW' and REA_KTO<>?1 and REA_IMPORT=?1 "
                                        "Order By REA_DATA, REA_NOMER");
    sqlite3_bind_text(incoming, 1, kto, -1, SQLITE_STATIC);
    sqlite3_stmt* here = prep(local, "SELECT * FROM REALIZ Where REA_KEY=?");
    const int key = column_of(incoming, "REA_KEY");
    while (sqlite3_step(incoming) == SQLITE_ROW) {
        sqlite3_bind_value(here, 1, sqlite3_column_value(incoming, key));
        while (sqlite3_step(here) == SQLITE_ROW) {}
        sqlite3_reset(here);
    }
    sqlite3_finalize(incoming); sqlite3_finalize(here);
    sqlite3_stmt* stamp = prep(main, "UPDATE KTO SET KTO_EXPORT=strftime('%Y-%m-%d %H:%M:%S','now','localtime') WHERE KTO_KOD=?1");
    sqlite3_bind_text(stamp, 1, kto, -1, SQLITE_STATIC);
    exec(main, "BEGIN IMMEDIATE");
    if (sqlite3_step(stamp) != SQLITE_DONE) die(main, "stamp");
    exec(main, "COMMIT");
    sqlite3_finalize(stamp);
}

/* The floor as it was before it walked in Varid's order and did a run's other work: the
 * selections unordered, nothing besides the walks (bench/compare shows it for comparison). */
static int unordered = 0;

static long perrow(const char* localf, const char* mainf, const char* kto, int batch)
{
    sqlite3* local = open_db(localf, "NORMAL");
    sqlite3* reader = open_db(localf, "NORMAL");
    sqlite3* main = open_db(mainf, "FULL");
    exec(local, "UPDATE REALIZ SET REA_KEY=REA_KTO||REA_NID WHERE REA_KEY IS NULL"); /* as Varid's key fill */
    long copied = 0;
    for (size_t k = 0; k < sizeof kinds / sizeof *kinds; ++k) {
        const struct kind* K = &kinds[k];
        exec(reader, "BEGIN");
        char select[2048];
        snprintf(select, sizeof select, "%s", K->select);
        if (unordered && strstr(select, " Order By ")) *strstr(select, " Order By ") = 0;
        sqlite3_stmt* sel = prep(reader, select);
        if (sqlite3_bind_parameter_count(sel)) /* the clients' selection names no branch */
            sqlite3_bind_text(sel, 1, kto, -1, SQLITE_STATIC);
        const int n = sqlite3_column_count(sel);
        char sql[4096], marks[1024] = "", cols[3072] = "";
        for (int i = 0; i < n; ++i) {
            strcat(cols, i ? "," : ""); strcat(cols, sqlite3_column_name(sel, i));
            strcat(marks, i ? ",?" : "?");
        }
        snprintf(sql, sizeof sql, "INSERT INTO %s (%s) VALUES (%s)", K->table, cols, marks);
        sqlite3_stmt* ins = prep(main, sql);
        sqlite3_stmt* look = NULL;
        int keys[4], nkeys = 0;
        char where[512] = "";
        if (K->lookup_cols[0]) {
            for (; nkeys < 4 && K->lookup_cols[nkeys]; ++nkeys) {
                strcat(where, nkeys ? " AND " : ""); strcat(where, K->lookup_cols[nkeys]); strcat(where, "=?");
                keys[nkeys] = column_of(sel, K->lookup_cols[nkeys]);
            }
            snprintf(sql, sizeof sql, "SELECT * FROM %s WHERE %s", K->table, where);
            look = prep(main, sql);
        }
        sqlite3_stmt* del = NULL;
        int delcol = -1;
        if (K->delete_by) {
            snprintf(sql, sizeof sql, "DELETE FROM %s WHERE %s=?", K->table, K->delete_by);
            del = prep(main, sql);
            delcol = column_of(sel, K->delete_by);
        }
        sqlite3_stmt* mark = K->mark ? prep(local, K->mark) : NULL;
        const int markcol = K->mark_col ? column_of(sel, K->mark_col) : -1;
        if (del) {
            /* Children: a deletion pass over every selected row first, without a transaction
             * (batched: a transaction of up to BATCH deletions). */
            int in = 0;
            while (sqlite3_step(sel) == SQLITE_ROW) {
                if (batch > 1 && in == 0) exec(main, "BEGIN");
                sqlite3_bind_value(del, 1, sqlite3_column_value(sel, delcol));
                sqlite3_step(del); sqlite3_reset(del);
                if (batch > 1 && ++in == batch) { exec(main, "COMMIT"); in = 0; }
            }
            if (batch > 1 && in) exec(main, "COMMIT");
            sqlite3_reset(sel);
        }
        int marked = 0;
        if (batch > 1) {
            copied += batched(K, sel, n, ins, look, where, nkeys, keys, mark, markcol, main, local, batch, &marked);
            if (marked) exec(local, "COMMIT");
        }
        while (batch <= 1 && sqlite3_step(sel) == SQLITE_ROW) {
            int found = 0;
            if (look) {
                for (int i = 0; i < nkeys; ++i) sqlite3_bind_value(look, i + 1, sqlite3_column_value(sel, keys[i]));
                found = sqlite3_step(look) == SQLITE_ROW;
                sqlite3_reset(look);
            }
            exec(main, "BEGIN");
            if (!found) { /* an update of a found row costs the same write and sync */
                for (int i = 0; i < n; ++i) sqlite3_bind_value(ins, i + 1, sqlite3_column_value(sel, i));
                if (sqlite3_step(ins) != SQLITE_DONE) die(main, "insert");
                sqlite3_reset(ins);
            }
            exec(main, "COMMIT");
            if (mark) {
                if (marked == 0) exec(local, "BEGIN");
                sqlite3_bind_value(mark, 1, sqlite3_column_value(sel, markcol));
                if (sqlite3_step(mark) != SQLITE_DONE) die(local, "mark");
                sqlite3_reset(mark);
                if (++marked == MARK_GROUP) { exec(local, "COMMIT"); marked = 0; }
            }
            ++copied;
        }
        if (batch <= 1 && marked) exec(local, "COMMIT");
        sqlite3_finalize(sel); sqlite3_finalize(ins);
        if (look) sqlite3_finalize(look);
        if (del) sqlite3_finalize(del);
        if (mark) sqlite3_finalize(mark);
        exec(reader, "COMMIT");
    }
    if (!unordered) every_run(local, main, kto);
    sqlite3_close(reader); sqlite3_close(local); sqlite3_close(main);
    return copied;
}

static long bulk(const char* localf, const char* mainf, const char* kto)
{
    /* The branch's database is the connection's own, so the selections read as they stand;
     * the main database is attached as "m". */
    sqlite3* local = open_db(localf, "FULL");
    char sql[4096];
    snprintf(sql, sizeof sql, "ATTACH '%s' AS m", mainf);
    exec(local, sql);
    exec(local, "PRAGMA m.synchronous=FULL");
    exec(local, "BEGIN");
    exec(local, "UPDATE REALIZ SET REA_KEY=REA_KTO||REA_NID WHERE REA_KEY IS NULL");
    long copied = 0;
    for (size_t k = 0; k < sizeof kinds / sizeof *kinds; ++k) {
        const struct kind* K = &kinds[k];
        const char* from = strstr(K->select, "FROM ");
        char q[4096];
        char missing[256] = "";
        if (K->lookup_cols[0] && !K->lookup_cols[1]) /* only what the main database lacks */
            snprintf(missing, sizeof missing, " AND %s NOT IN (SELECT %s FROM m.%s)", K->lookup_cols[0], K->lookup_cols[0], K->table);
        snprintf(q, sizeof q, "INSERT INTO m.%s SELECT * FROM main.%s WHERE rowid IN (SELECT rowid %s)%s", K->table, K->table, from, missing);
        sqlite3_stmt* s = prep(local, q);
        sqlite3_bind_text(s, 1, kto, -1, SQLITE_STATIC);
        if (sqlite3_step(s) != SQLITE_DONE) die(local, q);
        copied += sqlite3_changes(local);
        sqlite3_finalize(s);
    }
    for (size_t k = 0; k < sizeof kinds / sizeof *kinds; ++k) {
        if (!kinds[k].mark) continue;
        char col[64], q[512];
        sscanf(strstr(kinds[k].mark, "SET ") + 4, "%63[^=]", col);
        snprintf(q, sizeof q, "UPDATE main.%s SET %s='OLD' WHERE %s='NEW'", kinds[k].table, col, col);
        exec(local, q);
    }
    exec(local, "COMMIT");
    sqlite3_close(local);
    return copied;
}

/* floor perrow LOCAL MAIN KTO N: the per-row pass N times in one process, each opening and
 * closing its connections as a run does; prints the mean and the median ms of all but the
 * first (bench/compare's counterpart of varid-attempts, on a branch with nothing new). */
static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int by_value(const void* a, const void* b)
{
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv)
{
    if (argc == 6 && strcmp(argv[1], "perrow") == 0 && atoi(argv[5]) >= 2) {
        const int n = atoi(argv[5]);
        double* ms = malloc(sizeof *ms * n);
        for (int i = 0; i < n; ++i) {
            const double t = now_ms();
            perrow(argv[2], argv[3], argv[4], 1);
            ms[i] = now_ms() - t;
        }
        double sum = 0;
        for (int i = 1; i < n; ++i) sum += ms[i];
        qsort(ms + 1, n - 1, sizeof *ms, by_value);
        printf("%.2f %.2f\n", sum / (n - 1), ms[1 + (n - 1) / 2]);
        free(ms);
        return 0;
    }
    if (argc != 5) { fprintf(stderr, "usage: floor perrow|batched|batched-unordered|bulk LOCAL MAIN KTO | floor perrow LOCAL MAIN KTO N\n"); return 64; }
    unordered = strcmp(argv[1], "batched-unordered") == 0;
    const long n = strcmp(argv[1], "bulk") == 0 ? bulk(argv[2], argv[3], argv[4])
                 : perrow(argv[2], argv[3], argv[4], strncmp(argv[1], "batched", 7) == 0 ? BATCH : 1);
    printf("%ld rows copied\n", n);
    return 0;
}
