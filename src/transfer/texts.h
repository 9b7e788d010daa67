#pragma once
// The words the run writes character for character: its log lead-ins and the marks it
// reads. Kept here once, so no second copy can drift; the window's status texts and
// captions are the shell's (shell/captions.h).
#include <QString>

namespace varid::texts {

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

inline const QString yes = QStringLiteral("ДА");
inline const QString no = QStringLiteral("НЕТ");

} // namespace varid::texts
