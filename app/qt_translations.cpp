#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace app {

namespace {

// What the file dialogs say of a file's kind, which Debian's Portuguese catalogue of Qt 6.4 lacks
// (it has them under an older context), so that a dialog does not say "Tipo: Folder".
class FileKindTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const struct {
            const char* english;
            const char* portuguese;
        } kinds[]{{"Folder", "Pasta"},
                  {"Shortcut", "Atalho"},
                  {"Drive", "Unidade"},
                  {"File", "Arquivo"},
                  {"Unknown", "Desconhecido"}};
        for (const auto& kind : kinds) {
            if (qstrcmp(sourceText, kind.english) == 0)
                return QString::fromUtf8(kind.portuguese);
        }
        return {};
    }
};

} // namespace

bool installQtTranslations(QCoreApplication& application) {
    // Qt's dates, month names and the names of file kinds in Portuguese too, whatever the
    // machine's own locale (often C.UTF-8 on a station PC).
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QLocale::setDefault(brazil);
    QCoreApplication::installTranslator(new FileKindTranslator(&application));
    auto* translator = new QTranslator(&application);
    // "qt_pt_BR" gathers the catalogues of every Qt module installed (qtbase, ...).
    if (!translator->load(brazil, QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace app
