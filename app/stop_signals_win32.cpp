#include "app/stop_signals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <atomic>

#include <windows.h>

namespace app {

namespace {

// The one object the console's handler reaches; the handler runs on a thread of its own.
std::atomic<StopSignals*> listening{nullptr};
// Set once the program's end has run, which a console's close waits for: Windows ends the
// process when the handler returns.
HANDLE ended = nullptr;
std::atomic<bool> consoleAsked{false};

} // namespace

struct StopSignals::Watch : QAbstractNativeEventFilter {
    explicit Watch(StopSignals& owner) : owner(owner) {}

    // The session ends (logoff, shutdown): Windows ends the program once WM_ENDSESSION has been
    // answered, so the program's end runs before the answer.
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override {
        if (type != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_QUERYENDSESSION) {
            *result = TRUE;
            return true;
        }
        if (msg->message != WM_ENDSESSION || !msg->wParam)
            return false;
        if (!owner.requested_)
            owner.requested();
        *result = 0;
        return true;
    }

    static BOOL WINAPI onConsole(DWORD event) {
        StopSignals* owner = listening.load();
        // A second request while closing: the system's own action, which ends the program.
        if (!owner || consoleAsked.exchange(true))
            return FALSE;
        QMetaObject::invokeMethod(owner, [owner] {
            if (!owner->requested_)
                owner->requested();
        }, Qt::QueuedConnection);
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
            ::WaitForSingleObject(ended, 4500);
        return TRUE;
    }

    StopSignals& owner;
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), watch_(std::make_unique<Watch>(*this)) {
    ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    listening = this;
    QCoreApplication::instance()->installNativeEventFilter(watch_.get());
    ::SetConsoleCtrlHandler(&Watch::onConsole, TRUE);
}

StopSignals::~StopSignals() {
    listening = nullptr;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(watch_.get());
    if (ended)
        ::SetEvent(ended);
}

} // namespace app
