#include "toolkit/messages.h"

#include <QLoggingCategory>
#include <QMessageBox>

#include <cstdio>

Q_LOGGING_CATEGORY(lcToolkit, "anemometros.toolkit", QtWarningMsg)

namespace toolkit {

namespace {
bool errorBoxOpen = false;
}

void showMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok);
    box.setWindowTitle(kApplicationTitle);
    box.exec();
}

bool errorReportShowing() {
    return errorBoxOpen;
}

void reportToStandardError(const QString& text, Severity severity) {
    std::fprintf(stderr, "%s%s: %s\n", severityPrefix(severity).constData(),
                 qUtf8Printable(kApplicationTitle), qUtf8Printable(text));
    std::fflush(stderr);
}

void reportError(const QString& text) {
    if (errorBoxOpen) {
        reportToStandardError(text, Severity::Error);
        return;
    }
    qCInfo(lcToolkit) << "error report:" << text;
    errorBoxOpen = true;
    try {
        QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok);
        box.setWindowTitle(kApplicationTitle);
        box.exec();
    } catch (...) {
        errorBoxOpen = false;
        throw;
    }
    errorBoxOpen = false;
}

} // namespace toolkit
