#pragma once

namespace varid {

// Qt's own Russian texts for its dialogs (file and print dialogs, the Yes and No buttons),
// from Qt's translations as the system installs them. False when they are not there: the
// dialogs then speak English.
bool installRussianTranslations();

} // namespace varid
