#ifndef PROFILE_P_H
#define PROFILE_P_H

#include <QtCore/qhash.h>
#include <QtCore/qmutex.h>
#include <QtCore/qreadwritelock.h>
#include <QtCore/qstring.h>
#include <QtCore/qvariant.h>

class ProfilePrivate
{
public:
    QString fileName;
    QHash<QString, QVariant> cache; // guarded by lock
    mutable QReadWriteLock lock; // non-recursive

    // Changes made off the owning thread update the cache and queue their
    // write under this mutex, so that the writes reach the table in the
    // order of the cache updates and the last change wins in both places.
    // Recursive: a direct receiver on that thread may change a setting again.
    QRecursiveMutex queueOrder;
};

#endif // PROFILE_P_H
