# Round trips to the main database in a unixODBC trace (bench/compare): statements executed
# (SQLExecDirect, SQLExecute) on the statement handles of every connection opened on
# main.db, and the transaction calls on those connections (SQLEndTran, SQLSetConnectAttr).
# With -v bykind=1: the same, a line "TABLE count" for each table of the records the
# statement is about (the first one its text names), "other" for the rest (the connection's
# set-up, the procedures' bodies, the branch's stamp); a transaction call counts for the
# kind of the statement before it on its connection.
BEGIN {
  split("BILET_LINE AVANS_LINE KLIENT BILET AUTO PRODLENIE REALIZ AVANS OSTATOK GL_BOOK", tables, " ")
}
function kindOf(sql,    best, at, i, p, rest) {
  best = "other"; at = 0
  sql = toupper(sql)
  for (i = 1; i in tables; i++) {
    rest = sql; p = 0
    # The first place the table's name stands as a word of its own.
    while ((k = index(rest, tables[i])) > 0) {
      before = substr(rest, k - 1, 1); after = substr(rest, k + length(tables[i]), 1)
      if ((k == 1 || before !~ /[A-Z0-9_]/) && after !~ /[A-Z0-9_]/) { p += k; break }
      p += k + length(tables[i]) - 1; rest = substr(rest, k + length(tables[i])); k = 0
    }
    if (k > 0 && (at == 0 || p < at)) { at = p; best = tables[i] }
  }
  return best
}
# A statement's text may run over several lines; its end is "][length = ...]".
function took(    k) {
  text[stmt] = kindOf(sql)
  if (call ~ /^SQLExecDirect/ && owner[stmt] in mainconn) { n++; k = text[stmt]; by[k]++; last[owner[stmt]] = k }
}
collecting { sql = sql " " $0; if ($0 ~ /\]\[length = /) { collecting = 0; took() } ; next }
/^\[ODBC\]/ { split($0, f, "]\\["); call = f[4]; sub(/\.c$/, "", call); entry = 0; next }
/^\t\tEntry:/ { entry = 1; next }
/^\t\tExit:/ { entry = 0; next }
entry && /Connection = / { conn = $3 }
entry && /Statement = / { stmt = $3 }
entry && /Str In = / && call ~ /SQLDriverConnect/ { if ($0 ~ /main\.db/) mainconn[conn] = 1 }
entry && /Input Handle = / && call == "SQLAllocHandle" { input = $4 }
/Output Handle = / && call == "SQLAllocHandle" { owner[$4] = input }
entry && /SQL = \[/ && call ~ /^SQL(Prepare|ExecDirect)/ { sql = $0; if ($0 ~ /\]\[length = /) took(); else collecting = 1 }
entry && /Statement = / && call ~ /^SQLExecute/ { if (owner[$3] in mainconn) { n++; k = text[$3]; by[k]++; last[owner[$3]] = k } }
entry && /Connection = / && call ~ /^SQL(EndTran|SetConnectAttr)/ { if ($3 in mainconn) { n++; k = ($3 in last) ? last[$3] : "other"; by[k]++ } }
END {
  if (bykind) { for (k in by) print k, by[k] }
  else print n + 0
}
