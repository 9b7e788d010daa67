# Round trips to the main database in a unixODBC trace (bench/compare): statements executed
# (SQLExecDirect, SQLExecute) on the statement handles of every connection opened on
# main.db, and the transaction calls on those connections (SQLEndTran, SQLSetConnectAttr).
/^\[ODBC\]/ { split($0, f, "]\\["); call = f[4]; sub(/\.c$/, "", call); entry = 0; next }
/^\t\tEntry:/ { entry = 1; next }
/^\t\tExit:/ { entry = 0; next }
entry && /Connection = / { conn = $3 }
entry && /Str In = / && call ~ /SQLDriverConnect/ { if ($0 ~ /main\.db/) mainconn[conn] = 1 }
entry && /Input Handle = / && call == "SQLAllocHandle" { input = $4 }
/Output Handle = / && call == "SQLAllocHandle" { owner[$4] = input }
entry && /Statement = / && call ~ /^SQL(ExecDirect|Execute)/ { if (owner[$3] in mainconn) n++ }
entry && /Connection = / && call ~ /^SQL(EndTran|SetConnectAttr)/ { if ($3 in mainconn) n++ }
END { print n + 0 }
