#pragma once

#include <QString>

#include <exception>

namespace toolkit {

// A failure meant for the standard error report. Thrown inside a handler, caught at the
// handler's boundary by guarded(); nothing else in the program throws.
class Failure : public std::exception {
public:
    explicit Failure(QString text);
    const QString& text() const noexcept { return text_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QByteArray utf8_;
};

// Signed 32-bit decimal: optional leading blanks, optional sign, digits and nothing after.
// Anything else fails with "'<text>' is not a valid integer value".
int StrToInt(const QString& text);

// The text of a file failure for an errno value, as the Windows run-time library words it.
QString fileErrorText(int err);
[[noreturn]] void raiseFileError(int err);

} // namespace toolkit
