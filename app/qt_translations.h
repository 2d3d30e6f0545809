#pragma once

class QCoreApplication;

namespace app {

// Qt's own texts (the file dialogs, the edit menu of a text box, ...) in Brazilian Portuguese,
// as every text of the program is; English where the translations are not installed. False
// then. The program's own texts are written in Portuguese and are not translated.
bool installQtTranslations(QCoreApplication& application);

} // namespace app
