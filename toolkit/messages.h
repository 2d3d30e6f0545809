#pragma once

#include "toolkit/failure.h"
#include "toolkit/journal_stream.h"

#include <QString>

#include <exception>
#include <utility>

namespace toolkit {

// The application title: the caption of every message box (two blanks, no dash).
inline const QString kApplicationTitle = QStringLiteral("K&V  ANEMÔMETROS");

// A plain modal message box: the text, an OK button, the application title as caption.
void showMessage(const QString& text);

// The standard error report: an error box with the failure's text. Only one error box is
// open at a time; a failure raised while one is showing goes to standard error instead,
// because timers keep ticking under a modal box and would otherwise pile up boxes.
void reportError(const QString& text);
bool errorReportShowing();
// A report written to standard error only: a failure the operator has already been shown (an
// error), or one the program runs on without (a warning). Under the journal it carries its
// priority; the text is the same either way.
void reportToStandardError(const QString& text, Severity severity);

// The program is asked to stop: every box open is closed, its text written to standard error,
// and a box asked for from now on is not shown but written there too. A stop must not wait for
// somebody to press OK, also under a box raised while the windows are still being built.
void closeBoxes();

// Runs a handler body; a failure ends the body there and goes to the standard error report.
// No exception ever crosses the event loop.
template <typename Body> void guarded(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (const Failure& failure) {
        reportError(failure.text());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportError(QStringLiteral("Erro desconhecido"));
    }
}

} // namespace toolkit
