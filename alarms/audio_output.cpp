#include "alarms/audio_output.h"

#include "toolkit/library_calls.h"

#include <QLibrary>

namespace alarms {

namespace {

struct AudioModule {
    AudioOutput* output = nullptr;
};

toolkit::OpenedLibrary<AudioModule> open() {
    return toolkit::openModule<AudioModule>("anemo_audio", [](QLibrary& library, AudioModule& api) {
        AudioOutput* (*create)() = nullptr;
        if (!toolkit::resolve(library, "anemo_audio_output", create))
            return false;
        api.output = create();
        return true;
    });
}

} // namespace

AudioOutput* audioOutput(QString* why) {
    const AudioModule* module = toolkit::openOnce<AudioModule>(open, why);
    return module ? module->output : nullptr;
}

} // namespace alarms
