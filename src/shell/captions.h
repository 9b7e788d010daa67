#pragma once
// The window's words, character for character: the status labels' texts and the captions.
// Kept here once, so no second copy can drift.
#include <QString>

namespace varid::texts {

inline const QString connected = QStringLiteral("Есть соединение");
inline const QString notConnected = QStringLiteral("Cоединение отсутствует"); // Latin C, then Cyrillic
inline const QString connecting = QStringLiteral("Соединение");
// The local database answers, but its KTO names no single branch.
inline const QString branchUnknown = QStringLiteral("Филиал не определён");
// Another Varid works with this branch database.
inline const QString databaseTaken = QStringLiteral("База занята другим Varid");
inline const QString initialStatus = QStringLiteral("соединение отсутствует");

inline const QString captionTest = QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0  ");
inline const QString captionTimer = QStringLiteral("Rozor данными между серверами. Программа Тиверон.  ");
inline const QString captionInitial = QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0");

} // namespace varid::texts
