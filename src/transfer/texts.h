#pragma once
// The words the program writes character for character: status texts, log lead-ins,
// captions. Kept here once, so no second copy can drift.
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

inline const QString runStartLead = QStringLiteral("-----   Начало передачи ");
inline const QString runEndLead = QStringLiteral("-----   Конец передачи ");
inline const QString connectionLostLead = QStringLiteral("-----   Обрыв связи в ");
inline const QString runStoppedLead = QStringLiteral("-----   Передача остановлена в ");
// A repair of one day of one kind: its own start and end lines, naming both.
inline const QString repairStartLead = QStringLiteral("-----   Начало повторной отправки (%1) ");
inline const QString repairEndLead = QStringLiteral("-----   Конец повторной отправки (%1) ");
// A period replacement an earlier run left unfinished, sent again before this run's work.
inline const QString replacementResentLead = QStringLiteral("-----   Повторная передача прерванной замены: ");
inline const QString lineTail = QStringLiteral("  -----");
inline const QString failureLead = QStringLiteral("Ошибка! ");

inline const QString captionTest = QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0  ");
inline const QString captionTimer = QStringLiteral("Rozor данными между серверами. Программа Тиверон.  ");
inline const QString captionInitial = QStringLiteral("Rozor данными между серверами. Программа Тиверон. v 12.0.0");

inline const QString yes = QStringLiteral("ДА");
inline const QString no = QStringLiteral("НЕТ");

} // namespace varid::texts
