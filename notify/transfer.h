#pragma once

#include "notify/notice.h"
#include "notify/notify_settings.h"
#include "notify/send_reasons.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>

namespace notify {

// How long one try may take, and a flag that ends it early (the program is stopping).
struct TryLimits {
    int timeoutMs = 30'000;
    const std::atomic<bool>* stop = nullptr;
};

struct MailJob {
    MailSettings server;
    QStringList to;
    QByteArray message;
    QString recipientsKey = QStringLiteral("email_para"); // named in a refused recipient's reason
};

struct HttpJob {
    QString url;
    HttpRequest request;
};

// One try, through libcurl, blocking: for a sending thread, never the window thread.
Outcome sendMail(const MailJob& job, const TryLimits& limits);
Outcome postHttp(const HttpJob& job, const TryLimits& limits);

// "smtp.example.com:587".
QString serverText(const MailSettings& mail);

} // namespace notify
