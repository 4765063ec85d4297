#ifndef PROPERTYTESTSUPPORT_H
#define PROPERTYTESTSUPPORT_H

#include "propertyitem.h"

#include <QtCore/qabstractitemmodel.h>
#include <QtCore/qobject.h>
#include <QtCore/qstringlist.h>

// What the recording items saw, in order, and how many of them went away.
struct Journal
{
    QStringList entries;
    int destroyed = 0;
};

// A kind of property that writes every virtual call it receives into a journal.
class RecordingItem : public PropertyItem
{
public:
    explicit RecordingItem(const QString &name, Journal *journal, const QVariant &value = {})
        : PropertyItem(name, value), m_journal(journal)
    { }
    ~RecordingItem() override { ++m_journal->destroyed; }

    int type() const override { return 1001; }

    void setValue(const QVariant &value, bool notify) override
    {
        record(QStringLiteral("setValue %1 %2 %3")
                   .arg(name(), value.toString(),
                       notify ? QStringLiteral("notify") : QStringLiteral("quiet")));
        PropertyItem::setValue(value, notify);
    }

    void reset() override
    {
        record(QStringLiteral("reset ") + name());
        PropertyItem::reset();
    }

protected:
    void childChanged(PropertyItem *child) override
    {
        record(QStringLiteral("childChanged %1 <- %2").arg(name(), child->name()));
        PropertyItem::childChanged(child);
    }

private:
    void record(const QString &entry) { m_journal->entries.append(entry); }

    Journal *m_journal;
};

// The tree under an item as text: "name(child child(grandchild))".
inline QString dumpTree(const PropertyItem *item)
{
    QStringList children;
    for (const PropertyItem *child : item->children())
        children.append(dumpTree(child));
    if (children.isEmpty())
        return item->name();
    return item->name() + QLatin1Char('(') + children.join(QLatin1Char(' ')) + QLatin1Char(')');
}

// The rows a model shows, read through its own interface, in dumpTree's form.
inline QString dumpModel(const QAbstractItemModel *model, const QModelIndex &parent = {})
{
    QStringList rows;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex name = model->index(row, 0, parent);
        const QString children = dumpModel(model, name);
        rows.append(name.data().toString()
            + (children.isEmpty() ? QString() : QLatin1Char('(') + children + QLatin1Char(')')));
    }
    return rows.join(QLatin1Char(' '));
}

// A cell as "A#0/b#1:1" (name#row per level, then the column); "-" when invalid.
inline QString describeIndex(const QModelIndex &index)
{
    if (!index.isValid())
        return QStringLiteral("-");
    QStringList path;
    for (QModelIndex level = index.siblingAtColumn(0); level.isValid(); level = level.parent())
        path.prepend(QStringLiteral("%1#%2").arg(level.data().toString()).arg(level.row()));
    return path.join(QLatin1Char('/')) + QLatin1Char(':') + QString::number(index.column());
}

// Every row and value announcement of a model, as text, in the order received.
class ModelSignalLog
{
public:
    explicit ModelSignalLog(QAbstractItemModel *model)
    {
        const auto rows = [this](const char *what) {
            return [this, what](const QModelIndex &parent, int first, int last) {
                entries.append(QStringLiteral("%1 %2 %3 %4")
                                   .arg(QLatin1String(what), describeIndex(parent))
                                   .arg(first)
                                   .arg(last));
            };
        };
        QObject::connect(
            model, &QAbstractItemModel::rowsAboutToBeInserted, &m_context, rows("beginInsert"));
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &m_context, rows("endInsert"));
        QObject::connect(
            model, &QAbstractItemModel::rowsAboutToBeRemoved, &m_context, rows("beginRemove"));
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &m_context, rows("endRemove"));
        QObject::connect(model, &QAbstractItemModel::dataChanged, &m_context,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                entries.append(QStringLiteral("dataChanged %1 %2")
                                   .arg(describeIndex(topLeft), describeIndex(bottomRight)));
            });
        const auto other = [this](const char *what) {
            return [this, what] {
                entries.append(QLatin1String(what));
            };
        };
        QObject::connect(model, &QAbstractItemModel::modelReset, &m_context, other("modelReset"));
        QObject::connect(
            model, &QAbstractItemModel::layoutChanged, &m_context, other("layoutChanged"));
        QObject::connect(model, &QAbstractItemModel::rowsMoved, &m_context, other("rowsMoved"));
        QObject::connect(
            model, &QAbstractItemModel::headerDataChanged, &m_context, other("headerDataChanged"));
    }

    QStringList entries;

private:
    QObject m_context;
};

#endif // PROPERTYTESTSUPPORT_H
