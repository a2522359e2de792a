#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

/// The program's own text files (config.ini, err.log) are GB18030: GBK's bytes for GBK's
/// characters, so that older versions read them as before, and a form for every other
/// character instead of "?". The euro sign keeps GBK's single byte 0x80. (GBK's user-defined
/// area is the one difference: GB18030 gives some of those codes real characters.)
QByteArray toAnsi(QStringView text);

/// Reads what toAnsi writes, and plain GBK. Bytes that are neither read as U+FFFD.
QString fromAnsi(QByteArrayView bytes);

/// The number of bytes toAnsi gives for `text`.
qsizetype ansiSize(QStringView text);
