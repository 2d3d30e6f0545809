#pragma once

#include "notify/notice.h"

#include <QWidget>

#include <array>

class QLabel;
class QPushButton;

namespace notify {

class Notifier;

// "Teste das notificações": what each channel's server answered to a test message, and how
// each channel is doing (its queue, its last error). Not modal: the polls go on under it.
class TestWindow : public QWidget {
    Q_OBJECT

public:
    TestWindow(Notifier& notifier, QWidget* parent = nullptr);

    // Sends one test message through every channel, asked for by `user`.
    void start(const QString& user);

    QLabel* answerLabel(Channel channel) const { return answers_[int(channel)]; }
    QLabel* stateLabel() const { return state_; }

private:
    void answered(Channel channel, bool ok, const QString& text);

    Notifier& notifier_;
    std::array<QLabel*, kChannels> answers_{};
    QLabel* state_ = nullptr;
};

// "TESTAR NOTIFICAÇÕES", for the alarm list's window: opens the test window beside it and
// sends the test as `user`.
QPushButton* testButton(Notifier& notifier, const QString& user, QWidget* window);

} // namespace notify
