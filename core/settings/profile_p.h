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

    // Orders the persisted changes: a change and the queueing of its write
    // (or, on the owning thread, the writes queued before it) happen under
    // this mutex, so that the rows are written in the order of the cache
    // updates and the last change wins in both places. Recursive: a direct
    // receiver on a worker thread may change a setting again.
    QRecursiveMutex queueOrder;
};

#endif // PROFILE_P_H
