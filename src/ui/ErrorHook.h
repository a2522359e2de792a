#pragma once

#include <QString>

#include <functional>

class QWidget;

/// Where the windows built apart from the main window send a trapped error: the error report
/// once the main window has installed it, a plain message box until then.
using ErrorReporter =
    std::function<void(const QString& description, qint32 number, const QString& context, QWidget* owner)>;

/// Installs the reporter; an empty one goes back to the message box.
void setErrorReporter(ErrorReporter reporter);

/// Reports one error. `context` names the place: "frmConfig::ApplyConfig()".
void reportError(const QString& description, qint32 number, const QString& context, QWidget* owner);

/// Runs a command; an exception it throws (memory running out, or any other) becomes an error
/// report in `context` instead of ending the program.
void trapErrors(const QString& context, QWidget* owner, const std::function<void()>& body);

/// The number reported for a file that cannot be read or written (the report treats 0 as
/// "no error", so file failures need a number of their own).
constexpr qint32 FileAccessError = 75;
