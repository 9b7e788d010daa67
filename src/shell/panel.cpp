#include "shell/panel.h"
#include "shell/captions.h"

#include "transfer/texts.h"

namespace varid {

Panel::Panel()
{
    caption = texts::captionInitial;
    L_Info.text = texts::initialStatus;
    L_Info1.text = texts::initialStatus;
    L_KTO.text = QStringLiteral("FIL_4");
    L_KTO.visible = false;
    L_Tel.visible = false;
    L_Start.text = QStringLiteral("запуск");
    L_Kol.text = QStringLiteral("0");
    L_Pop.text = QStringLiteral("0");
    PB_Start.max = 60;
    switches.fill(true);
    switches[size_t(Switch::Terrorist)] = false;
}

void Panel::addLine(const QString& line)
{
    // A line break inside an entry makes two buffer lines.
    for (const QString& part : line.split(QLatin1Char('\n'))) {
        memo << part;
        if (onLine) onLine(part);
    }
}

void Panel::setBarMax(Bar b, int max)
{
    bars[size_t(b)].max = max;
    if (onBar) onBar(b);
}

void Panel::setBarPos(Bar b, int pos)
{
    BarState& s = bars[size_t(b)];
    s.pos = pos < s.max ? pos : s.max; // a bar stops at its maximum
    if (pos < 0) s.pos = 0;
    if (onBar) onBar(b);
}

} // namespace varid
