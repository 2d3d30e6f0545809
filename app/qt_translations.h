#pragma once

class QCoreApplication;

namespace app {

// Qt's own texts (the file dialogs, the edit menu of a text box, ...) and its dates in Brazilian
// Portuguese, as every text of the program is, whatever the machine's locale; English texts
// where the translations are not installed, and false then. The program's own texts are written
// in Portuguese and are not translated.
bool installQtTranslations(QCoreApplication& application);

} // namespace app
