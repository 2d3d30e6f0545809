#pragma once

#include "toolkit/signal_pipe.h"

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace app {

// The system asking the program to stop: SIGTERM (a service stop, a logout), SIGINT (Ctrl+C in
// a terminal) and SIGHUP (the terminal or the session gone). The handler only writes the
// signal's number into a pipe; the window thread reads it from its message loop and tells
// the program's end once, so the program ends as "Sair" ends it. A second signal while the
// program is closing ends it at once, by the signal's default action.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // What ends the program; run from the message loop, also for a signal that came before
    // it was given (while the windows were still being built).
    void onStop(std::function<void()> end);

private:
    void readSignals();
    void stop();

    std::function<void()> end_;
    bool requested_ = false;

    toolkit::SignalPipe pipe_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace app
