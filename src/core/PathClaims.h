#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

/// The paths that the passes of one run (the novels of a batch, on several threads) have
/// written or are about to write, so that no pass takes another's file for a stranger's.
class PathClaims {
public:
    /// Takes `path` for `owner`; false when another owner holds it, unless `force` (the user
    /// has confirmed replacing it).
    bool claim(const QString& path, const void* owner, bool force = false);
    /// Whether an owner other than `owner` holds `path`.
    bool heldByOther(const QString& path, const void* owner) const;

private:
    static QString key(const QString& path);

    mutable QMutex m_lock;
    QHash<QString, const void*> m_owners;
};
