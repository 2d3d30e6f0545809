#pragma once

#include "bus/poll_outcome.h"
#include "readings/reply.h"
#include "toolkit/listener_list.h"

namespace readings {

// Anything that follows the polls with what they read: the panels, the log step, health, the
// history held in memory, the publisher. Destroyed, a listener is no longer told.
class ReadingListener : public toolkit::Listening {
public:
    // `reading`: the texts and flags of a good reply, made once for every listener; null for a
    // poll that failed.
    virtual void pollFinished(const bus::PollOutcome& outcome, const Reading* reading) = 0;
    virtual void portStateChanged(bus::PortState from, bus::PortState to, const QString& portName) {
        Q_UNUSED(from);
        Q_UNUSED(to);
        Q_UNUSED(portName);
    }
};

// Turns each poll outcome of the bus into its reading once and hands both to its listeners, in
// the order they were added; watchers, told before every listener, see every poll even when a
// listener's display fails, and must not fail themselves. A failure raised by a listener ends
// that poll's round there, as any failure of a tick does. A listener may be removed at any
// time, and leaves by itself when it is destroyed.
class ReadingFeed : public bus::OutcomeListener {
public:
    void addListener(ReadingListener& listener) { listeners_.append(listener); }
    void addWatcher(ReadingListener& watcher) { watchers_.append(watcher); }
    void removeListener(ReadingListener& listener) {
        watchers_.remove(listener);
        listeners_.remove(listener);
    }

    void pollFinished(const bus::PollOutcome& outcome) override;
    void portStateChanged(bus::PortState from, bus::PortState to, const QString& portName) override;

private:
    template <class Tell> void tellListeners(Tell tell) const {
        watchers_.forEach(tell);
        listeners_.forEach(tell);
    }

    toolkit::ListenerList<ReadingListener> watchers_;
    toolkit::ListenerList<ReadingListener> listeners_;
};

// One outcome to one listener that follows no feed, its reading made here.
void tell(ReadingListener& listener, const bus::PollOutcome& outcome);

} // namespace readings
