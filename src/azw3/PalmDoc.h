#pragma once

#include <QByteArray>
#include <QByteArrayView>

/// One text record packed the PalmDOC way: back references of 3 to 10 bytes within the
/// record (at most 2047 bytes back), a space folded into the ASCII letter after it, and runs
/// of up to 8 bytes a reader would otherwise take for codes copied behind a count. The record
/// unpacks on its own, whatever came before it.
QByteArray palmDocCompress(QByteArrayView record);
