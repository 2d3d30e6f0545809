#pragma once

#include "notify/send_reasons.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>

class QProcess;
class QTimer;

namespace notify {

// One run of the user's command for one notice: started without a shell, with the notice in
// its environment and the e-mail's body on its standard input, and killed when it has not ended
// within the time allowed. The window thread only starts it and hears it end.
class CommandRun : public QObject {
    Q_OBJECT

public:
    static constexpr int kMostRunMs = 10'000;

    // Deletes itself once `done` has been told.
    static void start(const QString& program, const QStringList& variables, const QByteArray& input,
                      std::function<void(const Outcome&)> done, int mostRunMs = kMostRunMs,
                      QObject* parent = nullptr);

private:
    CommandRun(QString program, std::function<void(const Outcome&)> done, QObject* parent);
    void finish(const Outcome& outcome);
    QString said() const;

    QString program_;
    std::function<void(const Outcome&)> done_;
    QProcess* process_;
    QTimer* limit_;
    int mostRunMs_ = kMostRunMs;
    bool killed_ = false;
    bool finished_ = false;
};

} // namespace notify
