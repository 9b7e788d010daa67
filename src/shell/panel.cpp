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

QStringList Panel::addLine(const QString& line)
{
    const QStringList parts = line.split(QLatin1Char('\n'));
    memo << parts;
    return parts;
}

} // namespace varid
