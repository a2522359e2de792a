#include "PathClaims.h"

#include <QDir>
#include <QFileInfo>

QString PathClaims::key(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

quint64 PathClaims::newOwner()
{
    QMutexLocker lock(&m_lock);
    return ++m_lastOwner;
}

bool PathClaims::claim(const QString& path, quint64 owner, bool force)
{
    const QString k = key(path);
    QMutexLocker lock(&m_lock);
    const auto it = m_owners.constFind(k);
    if (it != m_owners.cend() && *it != owner && !force) {
        return false;
    }
    m_owners.insert(k, owner);
    return true;
}

bool PathClaims::heldByOther(const QString& path, quint64 owner) const
{
    const QString k = key(path);
    QMutexLocker lock(&m_lock);
    const auto it = m_owners.constFind(k);
    return it != m_owners.cend() && *it != owner;
}
