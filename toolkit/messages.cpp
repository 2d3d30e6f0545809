#include "toolkit/messages.h"

#include <QLoggingCategory>
#include <QMessageBox>

#include <QPointer>

#include <cstdio>
#include <vector>

Q_LOGGING_CATEGORY(lcToolkit, "anemometros.toolkit", QtWarningMsg)

namespace toolkit {

namespace {

bool errorBoxOpen = false;
bool closing = false;
std::vector<QPointer<QMessageBox>> openBoxes;

// Shows the box until it is answered or the program is asked to stop.
void runBox(QMessageBox& box) {
    box.setWindowTitle(kApplicationTitle);
    openBoxes.emplace_back(&box);
    struct Forget {
        QMessageBox* box;
        ~Forget() { std::erase(openBoxes, box); }
    } forget{&box};
    box.exec();
}

} // namespace

void showMessage(const QString& text) {
    if (closing) {
        reportToStandardError(text, Severity::Warning);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok);
    runBox(box);
}

void closeBoxes() {
    closing = true;
    for (const QPointer<QMessageBox>& box : std::vector(openBoxes)) {
        if (!box)
            continue;
        reportToStandardError(box->text(), box->icon() == QMessageBox::Critical
                                               ? Severity::Error
                                               : Severity::Warning);
        box->done(QMessageBox::Ok);
    }
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
    if (errorBoxOpen || closing) {
        reportToStandardError(text, Severity::Error);
        return;
    }
    qCInfo(lcToolkit) << "error report:" << text;
    errorBoxOpen = true;
    try {
        QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok);
        runBox(box);
    } catch (...) {
        errorBoxOpen = false;
        throw;
    }
    errorBoxOpen = false;
}

} // namespace toolkit
