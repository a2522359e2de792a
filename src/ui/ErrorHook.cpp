#include "ErrorHook.h"

#include "Prompts.h"

#include <new>
#include <stdexcept>

namespace {

// Error numbers as the classic run-time library numbers them; users quote them in reports.
enum ErrorNumber { BadCall = 5, OutOfMemory = 7 };

ErrorReporter& installed() {
    static ErrorReporter reporter;
    return reporter;
}

} // namespace

void setErrorReporter(ErrorReporter reporter) {
    installed() = std::move(reporter);
}

void reportError(const QString& description, qint32 number, const QString& context, QWidget* owner) {
    if (installed()) {
        installed()(description, number, context, owner);
        return;
    }
    const QString text =
        QStringLiteral(u"描述：%1\n错误号：%2\n来源：%3").arg(description).arg(number).arg(context);
    Prompts::messageBox(owner, text, QStringLiteral(u"错误报告"), QMessageBox::Critical);
}

void trapErrors(const QString& context, QWidget* owner, const std::function<void()>& body) {
    try {
        body();
    } catch (const std::bad_alloc&) {
        reportError(QStringLiteral(u"内存不足"), OutOfMemory, context, owner);
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()), BadCall, context, owner);
    }
}
