#ifndef PROPERTYITEM_H
#define PROPERTYITEM_H

#include "labcore_global.h"

#include <QtCore/qabstractitemmodel.h>
#include <QtCore/qlist.h>
#include <QtCore/qmap.h>
#include <QtCore/qnamespace.h>
#include <QtCore/qstring.h>
#include <QtCore/qvariant.h>

class PropertyItemModel;

// One node of a tree of named values shown by PropertyItemModel: a name, a
// value (the Qt::DisplayRole entry of the role values), further per-role data,
// item flags, a parent and an owned, ordered list of children. Applications
// derive their own kinds of property and override the virtual operations.
//
// An item attached to a model announces its row insertions and removals and
// its value changes through that model; a detached item announces nothing.
//
// Moving: appending or inserting an item that already has a parent first takes
// it out of that parent (the removal is announced completely, begun and ended),
// then inserts it into the new one (announced completely). Views and persistent
// indexes therefore always see rows at their current places.
//
// Misuse that would otherwise corrupt the tree is handled as follows:
// - append()/insert() of an item this item already lists moves it to the new
//   position (counted in the list without the item, so it ends at that row);
// - append()/insert() of a null item, of this item itself, of one of its
//   ancestors (which would make a cycle) or of a model's root item is refused
//   with a warning and changes nothing;
// - copying takes the name, the role values and the flags only: the copy is
//   detached and has no children (they belong to the original); assignment
//   likewise keeps the target's own place in a tree and its own children;
// - destroying an item that a parent still lists first takes it out of that
//   parent (announced like remove()), so the parent never keeps a dangling
//   pointer.
class LABCORE_EXPORT PropertyItem
{
public:
    PropertyItem();
    PropertyItem(const QString &name, const QVariant &value);
    PropertyItem(const PropertyItem &other);
    PropertyItem &operator=(const PropertyItem &other);
    virtual ~PropertyItem();

    virtual int type() const;
    // Stores the value under Qt::DisplayRole and announces the value cell,
    // even when the value is unchanged; with notify the parent hears of it.
    virtual void setValue(const QVariant &value, bool notify = true);
    // The base class keeps no default value; it carries the reset down to
    // every child, in list order.
    virtual void reset();
    // Exactly the stored entry of the role; Qt::EditRole is not folded here.
    virtual QVariant data(int role = Qt::DisplayRole) const;
    // The path of a view's edits: Qt::EditRole is folded into Qt::DisplayRole,
    // an unchanged value is ignored, a display value goes through setValue().
    virtual void setData(const QVariant &value, int role = Qt::EditRole);

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QVariant value() const { return m_roleValues.value(Qt::DisplayRole); }

    PropertyItem *parent() const { return m_parent; }
    PropertyItemModel *model() const { return m_model; }
    QList<PropertyItem *> children() const { return m_children; }

    Qt::ItemFlags flags() const { return m_flags; }
    void setFlags(Qt::ItemFlags flags) { m_flags = flags; }
    void changeFlags(Qt::ItemFlags flags, bool on);
    void setEditable(bool on = true) { changeFlags(Qt::ItemIsEditable, on); }
    bool isEditable() const { return m_flags.testFlag(Qt::ItemIsEditable); }

    // Takes ownership of the child and makes it the last row.
    void append(PropertyItem *child);
    // Takes ownership of the child and makes it the given row; the position
    // is clamped to the list.
    void insert(int position, PropertyItem *child);
    // Gives up ownership of the child (not destroyed) and detaches its subtree
    // from the model; does nothing for an item this item does not list.
    void remove(PropertyItem *child);

    QModelIndex index() const;
    QModelIndex valueIndex() const;

protected:
    // Called with the child on the path to the item whose value changed; the
    // base class passes the news on to its own parent.
    virtual void childChanged(PropertyItem *child);

    void emitDataChanged();
    void notifyParent();
    // Sets the parent and carries the model pointer through the subtree. It
    // does not enter the item in the new parent's child list: append() and
    // insert() do that. An item still listed by another parent is taken out.
    void setParentAndModel(PropertyItem *parent, PropertyItemModel *model);

private:
    explicit PropertyItem(PropertyItemModel *model);
    friend class PropertyItemModel;

    bool canAdopt(const PropertyItem *child, const char *operation) const;
    void insertChild(int position, PropertyItem *child);

    QString m_name;
    QMap<int, QVariant> m_roleValues;
    PropertyItem *m_parent = nullptr;
    PropertyItemModel *m_model = nullptr;
    QList<PropertyItem *> m_children;
    Qt::ItemFlags m_flags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
};

#endif // PROPERTYITEM_H
