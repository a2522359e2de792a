#include "ErrorHook.h"

#include "Prompts.h"

namespace {

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
