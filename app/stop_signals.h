#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace app {

// The system asking the program to stop, told once from the window thread's message loop so
// that the program ends as "Sair" ends it. On POSIX systems: SIGTERM (a service stop, a
// logout), SIGINT (Ctrl+C in a terminal) and SIGHUP (the terminal or the session gone); the
// handler only writes the signal's number into a pipe that the loop reads. On Windows: the end
// of the session (WM_ENDSESSION, before which the program must have ended) and the console's
// Ctrl+C, close, logoff and shutdown. A second request while the program is closing ends it
// at once, as the system would have without us.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // What ends the program; run from the message loop, also for a request that came before
    // it was given (while the windows were still being built).
    void onStop(std::function<void()> end);

private:
    struct Watch; // what the system's requests come through
    void requested();
    void stop();

    std::function<void()> end_;
    bool requested_ = false;
    std::unique_ptr<Watch> watch_;
};

} // namespace app
