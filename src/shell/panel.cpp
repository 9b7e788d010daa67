#include "shell/panel.h"
#include "shell/captions.h"

#include "transfer/texts.h"

using namespace Qt::StringLiterals;

namespace varid {

Panel::Panel()
{
    caption = texts::captionInitial;
    L_Info.text = texts::initialStatus;
    L_Info1.text = texts::initialStatus;
    L_KTO.text = u"FIL_4"_s;
    L_KTO.visible = false;
    L_Tel.visible = false;
    L_Start.text = u"запуск"_s;
    L_Kol.text = u"0"_s;
    L_Pop.text = u"0"_s;
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
