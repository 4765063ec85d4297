#include "propertyitem.h"

#include "propertyitemmodel.h"

#include <QtCore/qdebug.h>

#include <utility>

PropertyItem::PropertyItem() = default;

PropertyItem::PropertyItem(const QString &name, const QVariant &value) : m_name(name)
{
    // Not the virtual one: a derived kind is not constructed yet.
    PropertyItem::setValue(value, false);
}

PropertyItem::PropertyItem(PropertyItemModel *model) : m_model(model) { }

// A copy is listed nowhere, so it must neither claim the original's parent and
// model (they may go away before it) nor its children (they would be destroyed
// twice).
PropertyItem::PropertyItem(const PropertyItem &other)
    : m_name(other.m_name), m_roleValues(other.m_roleValues), m_flags(other.m_flags)
{ }

PropertyItem &PropertyItem::operator=(const PropertyItem &other)
{
    m_name = other.m_name;
    m_roleValues = other.m_roleValues;
    m_flags = other.m_flags;
    return *this;
}

PropertyItem::~PropertyItem()
{
    if (m_parent)
        m_parent->remove(this);

    // The children are cut loose before they go, so that their destructors
    // find no parent to leave and no model to tell.
    const QList<PropertyItem *> children = std::exchange(m_children, {});
    for (PropertyItem *child : children) {
        child->m_parent = nullptr;
        child->m_model = nullptr;
        delete child;
    }
}

int PropertyItem::type() const
{
    return 0;
}

void PropertyItem::setValue(const QVariant &value, bool notify)
{
    m_roleValues.insert(Qt::DisplayRole, value);
    emitDataChanged();
    if (notify)
        notifyParent();
}

void PropertyItem::reset()
{
    const QList<PropertyItem *> children = m_children;
    for (PropertyItem *child : children) {
        // A sibling's reset may have taken this one out (or destroyed it).
        if (m_children.contains(child))
            child->reset();
    }
}

QVariant PropertyItem::data(int role) const
{
    return m_roleValues.value(role);
}

void PropertyItem::setData(const QVariant &value, int role)
{
    if (role == Qt::EditRole)
        role = Qt::DisplayRole;
    if (m_roleValues.value(role) == value)
        return;
    if (role == Qt::DisplayRole) {
        setValue(value, true);
        return;
    }
    if (value.isValid())
        m_roleValues.insert(role, value);
    else
        m_roleValues.remove(role);
    emitDataChanged();
}

void PropertyItem::changeFlags(Qt::ItemFlags flags, bool on)
{
    if (on)
        m_flags |= flags;
    else
        m_flags &= ~flags;
}

void PropertyItem::append(PropertyItem *child)
{
    if (!canAdopt(child, "append"))
        return;
    if (child->m_parent)
        child->m_parent->remove(child);
    insertChild(int(m_children.size()), child);
}

void PropertyItem::insert(int position, PropertyItem *child)
{
    if (!canAdopt(child, "insert"))
        return;
    if (child->m_parent)
        child->m_parent->remove(child);
    insertChild(qBound(0, position, int(m_children.size())), child);
}

void PropertyItem::remove(PropertyItem *child)
{
    const qsizetype position = m_children.indexOf(child);
    if (position < 0)
        return;
    if (m_model)
        m_model->beginRemoveRows(index(), int(position), int(position));
    m_children.removeAt(position);
    child->setParentAndModel(nullptr, nullptr);
    if (m_model)
        m_model->endRemoveRows();
}

QModelIndex PropertyItem::index() const
{
    return m_model ? m_model->nameIndexFromItem(this) : QModelIndex();
}

QModelIndex PropertyItem::valueIndex() const
{
    return m_model ? m_model->valueIndexFromItem(this) : QModelIndex();
}

void PropertyItem::childChanged(PropertyItem *)
{
    notifyParent();
}

void PropertyItem::emitDataChanged()
{
    // The root has no cell: there is nothing to name.
    const QModelIndex cell = valueIndex();
    if (cell.isValid())
        emit m_model->dataChanged(cell, cell);
}

void PropertyItem::notifyParent()
{
    if (m_parent)
        m_parent->childChanged(this);
}

void PropertyItem::setParentAndModel(PropertyItem *parent, PropertyItemModel *model)
{
    if (m_parent && m_parent != parent && m_parent->m_children.contains(this)) {
        // remove() comes back here with a null parent and model.
        m_parent->remove(this);
    }
    if (m_model != model) {
        const QList<PropertyItem *> children = m_children;
        for (PropertyItem *child : children)
            child->setParentAndModel(this, model);
    }
    m_parent = parent;
    m_model = model;
}

bool PropertyItem::canAdopt(const PropertyItem *child, const char *operation) const
{
    if (!child) {
        qWarning("PropertyItem::%s: cannot add a null item", operation);
        return false;
    }
    for (const PropertyItem *ancestor = this; ancestor; ancestor = ancestor->m_parent) {
        if (ancestor == child) {
            qWarning("PropertyItem::%s: cannot add an item under itself or its own descendant",
                operation);
            return false;
        }
    }
    if (child->m_model && child->m_model->rootItem() == child) {
        qWarning("PropertyItem::%s: cannot add the root item of a model", operation);
        return false;
    }
    return true;
}

// The child is detached here: a move has already announced its removal.
void PropertyItem::insertChild(int position, PropertyItem *child)
{
    if (m_model)
        m_model->beginInsertRows(index(), position, position);
    m_children.insert(position, child);
    child->setParentAndModel(this, m_model);
    if (m_model)
        m_model->endInsertRows();
}
