#include "alarms/audio_output.h"

#include "toolkit/library_calls.h"

#include <QLibrary>

namespace alarms {

namespace {

struct AudioModule {
    AudioOutput* output = nullptr;
};

toolkit::OpenedLibrary<AudioModule> open() {
    toolkit::OpenedLibrary<AudioModule> opened;
    QLibrary library(toolkit::programModule("anemo_audio"));
    AudioOutput* (*create)() = nullptr;
    // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
    opened.ok = library.load() && toolkit::resolve(library, "anemo_audio_output", create);
    if (opened.ok)
        opened.api.output = create();
    else
        opened.why = library.errorString();
    return opened;
}

} // namespace

AudioOutput* audioOutput(QString* why) {
    const AudioModule* module = toolkit::openOnce<AudioModule>(open, why);
    return module ? module->output : nullptr;
}

} // namespace alarms
