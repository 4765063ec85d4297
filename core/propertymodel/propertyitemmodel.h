#ifndef PROPERTYITEMMODEL_H
#define PROPERTYITEMMODEL_H

#include "labcore_global.h"

#include <QtCore/qabstractitemmodel.h>

class PropertyItem;

// Presents a tree of PropertyItems in two columns: the name (column 0) and the
// value (column 1). Only the value can be edited; an edit started on a name
// cell goes to the value cell of the same row (buddy()). The model owns an
// invisible root item whose children are the top-level rows.
//
// Only name cells have children: rowCount() under a value cell is 0 and
// index() under it is invalid, so that parent(index(r, c, p)) == p holds for
// every valid index, as views and proxy models require.
//
// Indexes of another model are not looked into: itemFromIndex() gives null for
// them. nameIndexFromItem() and valueIndexFromItem() give an invalid index for
// an item that belongs to another model (or to none).
class LABCORE_EXPORT PropertyItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit PropertyItemModel(QObject *parent = nullptr);
    ~PropertyItemModel() override;

    QModelIndex index(
        int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QModelIndex buddy(const QModelIndex &index) const override;

    PropertyItem *rootItem() const { return m_rootItem; }
    // Makes the item (and its subtree) the last top-level row.
    void append(PropertyItem *item);

    // The item of a valid index of this model, the root for an invalid index.
    PropertyItem *itemFromIndex(const QModelIndex &index) const;
    QModelIndex nameIndexFromItem(const PropertyItem *item) const;
    QModelIndex valueIndexFromItem(const PropertyItem *item) const;

public slots:
    // Resets every item of the tree, each before its children. Item views call
    // this when an editor is cancelled (Escape), so kinds that restore a
    // default in reset() lose their edited values at that moment too.
    void revert() override;

private:
    friend class PropertyItem;

    enum Column { NameColumn, ValueColumn, ColumnCount };

    QModelIndex indexFromItem(const PropertyItem *item, int column) const;

    PropertyItem *m_rootItem;
};

#endif // PROPERTYITEMMODEL_H
