#include "alarms/audio_output.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace alarms {

namespace {

struct Loaded {
    AudioOutput* output = nullptr;
    QString why;
};

Loaded open() {
    Loaded loaded;
    // Beside the program: the build's bin/, the package's libexec/anemometros/.
    QLibrary library(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("anemo_audio")));
    using Create = AudioOutput* (*)();
    const auto create =
        library.load() ? reinterpret_cast<Create>(library.resolve("anemo_audio_output")) : nullptr;
    if (!create) {
        loaded.why = library.errorString();
        return loaded;
    }
    // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
    loaded.output = create();
    return loaded;
}

} // namespace

AudioOutput* audioOutput(QString* why) {
    // Only the window thread plays sound.
    static const Loaded loaded = open();
    if (why)
        *why = loaded.why;
    return loaded.output;
}

} // namespace alarms
