#include "propertyitemmodel.h"

#include "propertyitem.h"

PropertyItemModel::PropertyItemModel(QObject *parent)
    : QAbstractItemModel(parent), m_rootItem(new PropertyItem(this))
{ }

PropertyItemModel::~PropertyItemModel()
{
    delete m_rootItem;
}

QModelIndex PropertyItemModel::index(int row, int column, const QModelIndex &parent) const
{
    // Only name cells have children; see rowCount().
    if (parent.isValid() && parent.column() != NameColumn)
        return {};
    const PropertyItem *parentItem = itemFromIndex(parent);
    if (!parentItem || uint(row) >= uint(parentItem->m_children.size())
        || uint(column) >= uint(ColumnCount))
        return {};
    return createIndex(row, column, parentItem->m_children.at(row));
}

QModelIndex PropertyItemModel::parent(const QModelIndex &index) const
{
    const PropertyItem *item = itemFromIndex(index);
    if (!item || item == m_rootItem)
        return {};
    return nameIndexFromItem(item->m_parent);
}

int PropertyItemModel::rowCount(const QModelIndex &parent) const
{
    // A value cell answering its row's children would name a parent that is
    // not the cell they were asked under.
    if (parent.isValid() && parent.column() != NameColumn)
        return 0;
    const PropertyItem *item = itemFromIndex(parent);
    return item ? int(item->m_children.size()) : 0;
}

int PropertyItemModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant PropertyItemModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::EditRole)
        role = Qt::DisplayRole;
    const PropertyItem *item = index.isValid() ? itemFromIndex(index) : nullptr;
    if (!item)
        return {};
    if (role == Qt::DisplayRole && index.column() == NameColumn)
        return item->name();
    return item->data(role);
}

bool PropertyItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (index.column() != ValueColumn)
        return false;
    PropertyItem *item = itemFromIndex(index);
    if (!item || item == m_rootItem)
        return false;
    item->setData(value, role);
    return true;
}

QVariant PropertyItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section == NameColumn ? tr("名称") : tr("值");
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags PropertyItemModel::flags(const QModelIndex &index) const
{
    const PropertyItem *item = itemFromIndex(index);
    if (!item || item == m_rootItem)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = item->flags();
    if (index.column() == NameColumn)
        flags &= ~Qt::ItemIsEditable;
    return flags;
}

QModelIndex PropertyItemModel::buddy(const QModelIndex &index) const
{
    if (index.column() == NameColumn && index.model() == this)
        return this->index(index.row(), ValueColumn, parent(index));
    return index;
}

void PropertyItemModel::revert()
{
    m_rootItem->reset();
}

void PropertyItemModel::append(PropertyItem *item)
{
    m_rootItem->append(item);
}

PropertyItem *PropertyItemModel::itemFromIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_rootItem;
    // Another model's internal pointer need not be an item at all.
    if (index.model() != this)
        return nullptr;
    return static_cast<PropertyItem *>(index.internalPointer());
}

QModelIndex PropertyItemModel::nameIndexFromItem(const PropertyItem *item) const
{
    return indexFromItem(item, NameColumn);
}

QModelIndex PropertyItemModel::valueIndexFromItem(const PropertyItem *item) const
{
    return indexFromItem(item, ValueColumn);
}

QModelIndex PropertyItemModel::indexFromItem(const PropertyItem *item, int column) const
{
    if (!item || item == m_rootItem || !item->m_parent || item->m_model != this)
        return {};
    const qsizetype row = item->m_parent->m_children.indexOf(const_cast<PropertyItem *>(item));
    if (row < 0)
        return {};
    return createIndex(int(row), column, const_cast<PropertyItem *>(item));
}
