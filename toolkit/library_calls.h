#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QString>

#include <mutex>

namespace toolkit {

// Takes the function `name` of an opened library into `into`; false when it has none.
template <typename Function> bool resolve(QLibrary& library, const char* name, Function& into) {
    into = reinterpret_cast<Function>(library.resolve(name));
    return into != nullptr;
}

// One of the program's own modules, `name` beside its executable: the build's bin/, the
// package's libexec/anemometros/.
inline QString programModule(const char* name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(name));
}

// The calls of a library opened by name, or why it could not be opened.
template <typename Api> struct OpenedLibrary {
    Api api{};
    bool ok = false;
    QString why;
};

// Opens the program's module `name` and lets `take(library, api)` resolve its calls into the
// api; a module that cannot be loaded, or lacks a call, gives why.
template <typename Api, typename Take> OpenedLibrary<Api> openModule(const char* name, Take take) {
    OpenedLibrary<Api> opened;
    QLibrary library(programModule(name));
    // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
    opened.ok = library.load() && take(library, opened.api);
    if (!opened.ok)
        opened.why = library.errorString();
    return opened;
}

// Opens the library with `open` the first time it is asked for, from whichever thread, and
// gives the same answer every time after; nullptr when it could not be opened, with why.
template <typename Api, typename Open> const Api* openOnce(Open open, QString* why) {
    static std::once_flag once;
    static OpenedLibrary<Api> opened;
    std::call_once(once, [&] { opened = open(); });
    if (why)
        *why = opened.why;
    return opened.ok ? &opened.api : nullptr;
}

} // namespace toolkit
