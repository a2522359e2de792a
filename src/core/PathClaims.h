#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

/// The paths that the passes of one run (the novels of a batch, on several threads) have
/// written or are about to write, so that no pass takes another's file for a stranger's.
class PathClaims {
public:
    /// A new owner: one for each pass (an address may serve two passes in turn).
    quint64 newOwner();
    /// Takes `path` for `owner`; false when another owner holds it, unless `force` (the user
    /// has confirmed replacing it).
    bool claim(const QString& path, quint64 owner, bool force = false);
    /// Whether an owner other than `owner` holds `path`.
    bool heldByOther(const QString& path, quint64 owner) const;

private:
    static QString key(const QString& path);

    mutable QMutex m_lock;
    QHash<QString, quint64> m_owners;
    quint64 m_lastOwner = 0;
};
