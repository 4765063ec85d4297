#include "propertyitem.h"
#include "propertyitemmodel.h"
#include "propertytestsupport.h"

#include <QtCore/qsortfilterproxymodel.h>
#include <QtCore/qtranslator.h>
#include <QtTest/qabstractitemmodeltester.h>
#include <QtTest/qtest.h>
#include <QtWidgets/qapplication.h>
#include <QtWidgets/qlineedit.h>
#include <QtWidgets/qtreeview.h>

#include <memory>
#include <utility>

namespace {

using Tester = QAbstractItemModelTester;

// Builds a tree described as "A(a0 a1) B C(c0)" from recording items under
// the parent; each item's value is its name in capitals.
void buildTree(const QString &text, int &at, PropertyItem *parent, Journal *journal,
    QHash<QString, PropertyItem *> *items)
{
    while (at < text.size() && text.at(at) != QLatin1Char(')')) {
        if (text.at(at) == QLatin1Char(' ')) {
            ++at;
            continue;
        }
        QString name;
        while (at < text.size() && text.at(at).isLetterOrNumber())
            name.append(text.at(at++));
        auto *item = new RecordingItem(name, journal, name.toUpper());
        items->insert(name, item);
        parent->append(item);
        if (at < text.size() && text.at(at) == QLatin1Char('(')) {
            ++at;
            buildTree(text, at, item, journal, items);
            ++at; // ')'
        }
    }
}

struct TreeFixture
{
    explicit TreeFixture(const QString &description = QStringLiteral("A(a0(a00 a01) a1) B C(c0)"))
    {
        int at = 0;
        buildTree(description, at, model.rootItem(), &journal, &items);
        journal.entries.clear();
    }

    PropertyItem *item(const QString &name) const { return items.value(name); }

    Journal journal;
    PropertyItemModel model;
    QHash<QString, PropertyItem *> items;
};

// Every item below (and including) the given one.
QList<PropertyItem *> subtree(PropertyItem *item)
{
    QList<PropertyItem *> items {item};
    for (PropertyItem *child : item->children())
        items += subtree(child);
    return items;
}

} // namespace

class tst_PropertyItemModel : public QObject
{
    Q_OBJECT

private slots:
    void emptyModel();
    void headerData_data();
    void headerData();
    void headerTranslatedInOwnContext();
    void indexBounds_data();
    void indexBounds();
    void onlyNameCellsHaveChildren();
    void parentOfCells();
    void data_data();
    void data();
    void flags();
    void setData_data();
    void setData();
    void dataChangedNamesValueCell_data();
    void dataChangedNamesValueCell();
    void buddy();
    void revertEntersParentsFirst();
    void itemsOfOtherModels();
    void destroysTreeWithModel();

    void modelTesterWhileChangingTree();
    void moveSignalOrder_data();
    void moveSignalOrder();

    void treeViewEditsValueCell_data();
    void treeViewEditsValueCell();
};

void tst_PropertyItemModel::emptyModel()
{
    PropertyItemModel model;
    Tester tester(&model, Tester::FailureReportingMode::Fatal);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 2);
    QVERIFY(!model.hasChildren());
    QVERIFY(model.rootItem());
    QCOMPARE(model.rootItem()->model(), &model);
    QCOMPARE(model.rootItem()->parent(), nullptr);
    QVERIFY(model.rootItem()->name().isEmpty());
    QCOMPARE(
        model.rootItem()->flags(), Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
    QCOMPARE(model.itemFromIndex(QModelIndex()), model.rootItem());
    QCOMPARE(
        QString::fromLatin1(model.metaObject()->className()), QStringLiteral("PropertyItemModel"));
}

void tst_PropertyItemModel::headerData_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("name") << 0 << Qt::Horizontal << int(Qt::DisplayRole)
                          << QVariant(QStringLiteral("名称"));
    QTest::newRow("value") << 1 << Qt::Horizontal << int(Qt::DisplayRole)
                           << QVariant(QStringLiteral("值"));
    QTest::newRow("beyond the columns")
        << 5 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant(QStringLiteral("值"));
    // The framework's default: the section number counted from one.
    QTest::newRow("vertical") << 0 << Qt::Vertical << int(Qt::DisplayRole) << QVariant(1);
    QTest::newRow("tool tip") << 0 << Qt::Horizontal << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("edit role") << 0 << Qt::Horizontal << int(Qt::EditRole) << QVariant();
}

void tst_PropertyItemModel::headerData()
{
    QFETCH(int, section);
    QFETCH(Qt::Orientation, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    PropertyItemModel model;
    QCOMPARE(model.headerData(section, orientation, role), expected);
}

void tst_PropertyItemModel::headerTranslatedInOwnContext()
{
    // The catalogue also translates the same source texts in another context,
    // which must not be picked up.
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/i18n/propertymodel_en.qm")));
    QVERIFY(QCoreApplication::installTranslator(&translator));

    PropertyItemModel model;
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));

    QVERIFY(QCoreApplication::removeTranslator(&translator));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("名称"));
}

void tst_PropertyItemModel::indexBounds_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("valid");

    // Three top-level rows.
    QTest::newRow("first name") << 0 << 0 << true;
    QTest::newRow("last value") << 2 << 1 << true;
    QTest::newRow("negative row") << -1 << 0 << false;
    QTest::newRow("negative column") << 0 << -1 << false;
    QTest::newRow("third column") << 0 << 2 << false;
    QTest::newRow("row count") << 3 << 0 << false;
    QTest::newRow("far beyond") << 1000 << 1000 << false;
}

void tst_PropertyItemModel::indexBounds()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, valid);

    TreeFixture tree;
    const QModelIndex index = tree.model.index(row, column);
    QCOMPARE(index.isValid(), valid);
    if (valid) {
        QCOMPARE(index.model(), &tree.model);
        QCOMPARE(index.row(), row);
        QCOMPARE(index.column(), column);
        QCOMPARE(tree.model.itemFromIndex(index), tree.model.rootItem()->children().at(row));
    }
}

void tst_PropertyItemModel::onlyNameCellsHaveChildren()
{
    TreeFixture tree;
    const QModelIndex name = tree.item(QStringLiteral("A"))->index();
    const QModelIndex value = tree.item(QStringLiteral("A"))->valueIndex();

    QCOMPARE(tree.model.rowCount(name), 2);
    QVERIFY(tree.model.hasChildren(name));
    QCOMPARE(tree.model.rowCount(value), 0);
    QVERIFY(!tree.model.hasChildren(value));
    QVERIFY(!tree.model.index(0, 0, value).isValid());
    QVERIFY(!tree.model.index(0, 1, value).isValid());

    // Every child names the cell it was asked under as its parent.
    const QModelIndex child = tree.model.index(0, 1, name);
    QCOMPARE(tree.model.parent(child), name);
}

void tst_PropertyItemModel::parentOfCells()
{
    TreeFixture tree;
    PropertyItem *a = tree.item(QStringLiteral("A"));
    PropertyItem *a01 = tree.item(QStringLiteral("a01"));

    QVERIFY(!tree.model.parent(a->index()).isValid());
    QVERIFY(!tree.model.parent(a->valueIndex()).isValid());
    QVERIFY(!tree.model.parent(QModelIndex()).isValid());

    const QModelIndex grandchildValue = a01->valueIndex();
    QCOMPARE(grandchildValue, tree.model.index(1, 1, tree.model.index(0, 0, a->index())));
    QCOMPARE(tree.model.parent(grandchildValue), tree.item(QStringLiteral("a0"))->index());
    QCOMPARE(tree.model.parent(grandchildValue).column(), 0);
    QCOMPARE(tree.model.itemFromIndex(grandchildValue), a01);
    QCOMPARE(tree.model.nameIndexFromItem(a01), a01->index());
    QCOMPARE(tree.model.valueIndexFromItem(a01), grandchildValue);
    QVERIFY(!tree.model.nameIndexFromItem(tree.model.rootItem()).isValid());
    QVERIFY(!tree.model.valueIndexFromItem(nullptr).isValid());
}

void tst_PropertyItemModel::data_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const QVariant name(QStringLiteral("speed"));
    const QVariant value(42);
    const QVariant tip(QStringLiteral("how fast"));
    QTest::newRow("name, display") << 0 << int(Qt::DisplayRole) << name;
    QTest::newRow("name, edit") << 0 << int(Qt::EditRole) << name;
    QTest::newRow("value, display") << 1 << int(Qt::DisplayRole) << value;
    QTest::newRow("value, edit") << 1 << int(Qt::EditRole) << value;
    QTest::newRow("name, tool tip") << 0 << int(Qt::ToolTipRole) << tip;
    QTest::newRow("value, tool tip") << 1 << int(Qt::ToolTipRole) << tip;
    QTest::newRow("name, no entry") << 0 << int(Qt::DecorationRole) << QVariant();
    QTest::newRow("value, no entry") << 1 << int(Qt::FontRole) << QVariant();
}

void tst_PropertyItemModel::data()
{
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    PropertyItemModel model;
    auto *item = new PropertyItem(QStringLiteral("speed"), 42);
    item->setData(QStringLiteral("how fast"), Qt::ToolTipRole);
    model.append(item);

    QCOMPARE(model.data(model.index(0, column), role), expected);
    QVERIFY(!model.data(QModelIndex(), role).isValid());
}

void tst_PropertyItemModel::flags()
{
    PropertyItemModel model;
    auto *editable = new PropertyItem(QStringLiteral("e"), 1);
    auto *special = new PropertyItem(QStringLiteral("s"), 2);
    special->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    model.append(editable);
    model.append(special);

    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QCOMPARE(model.flags(editable->index()), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QCOMPARE(model.flags(editable->valueIndex()), editable->flags());
    QCOMPARE(model.flags(special->index()), Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    QCOMPARE(model.flags(special->valueIndex()), Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
}

void tst_PropertyItemModel::setData_data()
{
    QTest::addColumn<QString>("cell"); // "name", "value" or "invalid"
    QTest::addColumn<QVariant>("incoming");
    QTest::addColumn<int>("role");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("announcements");

    QTest::newRow("value cell, edit")
        << "value" << QVariant(9) << int(Qt::EditRole) << true << QVariant(9) << 1;
    QTest::newRow("value cell, display")
        << "value" << QVariant(9) << int(Qt::DisplayRole) << true << QVariant(9) << 1;
    QTest::newRow("value cell, same value")
        << "value" << QVariant(3) << int(Qt::EditRole) << true << QVariant(3) << 0;
    QTest::newRow("value cell, tool tip") << "value" << QVariant(QStringLiteral("t"))
                                          << int(Qt::ToolTipRole) << true << QVariant(3) << 1;
    QTest::newRow("name cell") << "name" << QVariant(9) << int(Qt::EditRole) << false << QVariant(3)
                               << 0;
    QTest::newRow("invalid index")
        << "invalid" << QVariant(9) << int(Qt::EditRole) << false << QVariant(3) << 0;
}

void tst_PropertyItemModel::setData()
{
    QFETCH(QString, cell);
    QFETCH(QVariant, incoming);
    QFETCH(int, role);
    QFETCH(bool, accepted);
    QFETCH(QVariant, value);
    QFETCH(int, announcements);

    PropertyItemModel model;
    auto *item = new PropertyItem(QStringLiteral("x"), 3);
    model.append(item);
    model.rootItem()->PropertyItem::setValue(QStringLiteral("root"), false);
    ModelSignalLog log(&model);

    const QModelIndex index = cell == QLatin1String("name") ? item->index()
        : cell == QLatin1String("value")                    ? item->valueIndex()
                                                            : QModelIndex();
    QCOMPARE(model.setData(index, incoming, role), accepted);
    QCOMPARE(item->value(), value);
    QCOMPARE(model.rootItem()->value(), QVariant(QStringLiteral("root")));
    QCOMPARE(log.entries.size(), announcements);
}

void tst_PropertyItemModel::dataChangedNamesValueCell_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("incoming");

    QTest::newRow("value") << int(Qt::EditRole) << QVariant(5);
    QTest::newRow("tool tip") << int(Qt::ToolTipRole) << QVariant(QStringLiteral("tip"));
    QTest::newRow("decoration") << int(Qt::DecorationRole) << QVariant(QStringLiteral("icon"));
    QTest::newRow("user role") << int(Qt::UserRole) << QVariant(7);
}

void tst_PropertyItemModel::dataChangedNamesValueCell()
{
    QFETCH(int, role);
    QFETCH(QVariant, incoming);

    TreeFixture tree;
    Tester tester(&tree.model, Tester::FailureReportingMode::Fatal);
    ModelSignalLog log(&tree.model);

    PropertyItem *item = tree.item(QStringLiteral("a01"));
    QVERIFY(tree.model.setData(item->valueIndex(), incoming, role));

    QCOMPARE(
        log.entries, QStringList {QStringLiteral("dataChanged A#0/a0#0/a01#1:1 A#0/a0#0/a01#1:1")});
    // Other roles are answered in both columns alike; the value only in one.
    const int folded = role == Qt::EditRole ? int(Qt::DisplayRole) : role;
    QCOMPARE(tree.model.data(item->valueIndex(), folded), incoming);
    if (folded != Qt::DisplayRole)
        QCOMPARE(tree.model.data(item->index(), folded), incoming);
}

void tst_PropertyItemModel::buddy()
{
    TreeFixture tree;
    PropertyItem *a0 = tree.item(QStringLiteral("a0"));
    QCOMPARE(tree.model.buddy(a0->index()), a0->valueIndex());
    QCOMPARE(tree.model.buddy(a0->valueIndex()), a0->valueIndex());
    QVERIFY(!tree.model.buddy(QModelIndex()).isValid());
}

void tst_PropertyItemModel::revertEntersParentsFirst()
{
    TreeFixture tree;
    tree.model.revert();
    QCOMPARE(tree.journal.entries,
        (QStringList {"reset A", "reset a0", "reset a00", "reset a01", "reset a1", "reset B",
            "reset C", "reset c0"}));
}

void tst_PropertyItemModel::itemsOfOtherModels()
{
    TreeFixture tree;
    TreeFixture other(QStringLiteral("X(x0)"));
    const QModelIndex foreignName = other.item(QStringLiteral("X"))->index();
    const QModelIndex foreignValue = other.item(QStringLiteral("X"))->valueIndex();

    QCOMPARE(tree.model.itemFromIndex(foreignName), nullptr);
    QCOMPARE(tree.model.rowCount(foreignName), 0);
    QVERIFY(!tree.model.index(0, 0, foreignName).isValid());
    QVERIFY(!tree.model.parent(foreignName).isValid());
    QCOMPARE(tree.model.flags(foreignValue), Qt::NoItemFlags);
    QVERIFY(!tree.model.data(foreignName).isValid());
    QVERIFY(!tree.model.setData(foreignValue, 1));
    QCOMPARE(tree.model.buddy(foreignName), foreignName);
    QVERIFY(!tree.model.nameIndexFromItem(other.item(QStringLiteral("x0"))).isValid());
    QVERIFY(!tree.model.valueIndexFromItem(other.item(QStringLiteral("X"))).isValid());
    QCOMPARE(other.item(QStringLiteral("X"))->value(), QVariant(QStringLiteral("X")));
}

void tst_PropertyItemModel::destroysTreeWithModel()
{
    Journal journal;
    QHash<QString, PropertyItem *> items;
    auto *model = new PropertyItemModel;
    int at = 0;
    buildTree(QStringLiteral("A(a0(a00 a01) a1) B C(c0)"), at, model->rootItem(), &journal, &items);
    // A detached subtree appended late is owned just the same.
    auto *late = new RecordingItem(QStringLiteral("late"), &journal);
    late->append(new RecordingItem(QStringLiteral("later"), &journal));
    items.value(QStringLiteral("c0"))->append(late);
    QCOMPARE(journal.destroyed, 0);

    delete model;
    QCOMPARE(journal.destroyed, int(items.size()) + 2);
}

void tst_PropertyItemModel::modelTesterWhileChangingTree()
{
    Journal journal;
    PropertyItemModel model;
    Tester tester(&model, Tester::FailureReportingMode::Fatal);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    Tester proxyTester(&proxy, Tester::FailureReportingMode::Fatal);
    const auto make = [&](const char *name) {
        return new RecordingItem(
            QLatin1String(name), &journal, QString::fromLatin1(name).toUpper());
    };

    // Building: attached parents and a detached subtree.
    auto *a = make("a");
    auto *b = make("b");
    auto *c = make("c");
    model.append(a);
    model.append(b);
    a->append(make("a0"));
    a->append(make("a1"));
    auto *a10 = make("a10");
    a->children().at(1)->append(a10);
    c->append(make("c0"));
    c->children().at(0)->append(make("c00"));
    model.append(c);
    QCOMPARE(dumpModel(&model), QStringLiteral("a(a0 a1(a10)) b c(c0(c00))"));
    QCOMPARE(dumpModel(&proxy), dumpModel(&model));

    // Inserting at the ends and between.
    b->insert(-1, make("b0"));
    b->insert(99, make("b2"));
    b->insert(1, make("b1"));
    model.rootItem()->insert(1, make("ab"));
    QCOMPARE(dumpModel(&model), QStringLiteral("a(a0 a1(a10)) ab b(b0 b1 b2) c(c0(c00))"));

    // Moving between parents and levels, up, down and within one parent.
    c->append(a); // a whole subtree down into a later sibling
    b->insert(0, a10); // a grandchild to another branch
    model.append(c->children().at(0)); // c0 up to the top
    b->insert(3, b->children().at(0)); // within one parent
    c->children().at(0)->append(b); // into a grandchild of a later row
    QCOMPARE(dumpModel(&model), QStringLiteral("ab c(a(a0 a1 b(b0 b1 b2 a10))) c0(c00)"));
    QCOMPARE(dumpModel(&proxy), dumpModel(&model));

    // Editing through the model and through the items.
    QVERIFY(model.setData(b->valueIndex(), 12));
    QVERIFY(model.setData(a10->valueIndex(), QStringLiteral("tip"), Qt::ToolTipRole));
    a10->setValue(3.5, true);
    model.rootItem()->setValue(1, true); // the root has no cell to announce
    model.revert();

    // Removing and destroying.
    PropertyItem *a0 = a->children().at(0);
    a->remove(a0);
    delete a0;
    delete b; // still listed: leaves its parent first
    model.rootItem()->remove(c);
    QCOMPARE(dumpModel(&model), QStringLiteral("ab c0(c00)"));
    QCOMPARE(dumpModel(&proxy), dumpModel(&model));

    // Putting a removed subtree back.
    model.append(c);
    QCOMPARE(dumpModel(&model), QStringLiteral("ab c0(c00) c(a(a1))"));
}

void tst_PropertyItemModel::moveSignalOrder_data()
{
    QTest::addColumn<QString>("mover");
    QTest::addColumn<QString>("target"); // empty: the model's root
    QTest::addColumn<int>("position"); // -1 appends
    QTest::addColumn<QStringList>("announcements");
    QTest::addColumn<QString>("tree");

    // Initial tree: A(a0 a1) B C(c0)
    QTest::newRow("top-level row into a later sibling")
        << "A"
        << "C" << -1
        << QStringList {"beginRemove - 0 0", "endRemove - 0 0", "beginInsert C#1:0 1 1",
               "endInsert C#1:0 1 1"}
        << "B C(c0 A(a0 a1))";
    QTest::newRow("top-level row into a later sibling's child")
        << "A"
        << "c0" << -1
        << QStringList {"beginRemove - 0 0", "endRemove - 0 0", "beginInsert C#1/c0#0:0 0 0",
               "endInsert C#1/c0#0:0 0 0"}
        << "B C(c0(A(a0 a1)))";
    QTest::newRow("child out to a later top-level row")
        << "a0"
        << "C" << 0
        << QStringList {"beginRemove A#0:0 0 0", "endRemove A#0:0 0 0", "beginInsert C#2:0 0 0",
               "endInsert C#2:0 0 0"}
        << "A(a1) B C(a0 c0)";
    QTest::newRow("child into an earlier row")
        << "c0"
        << "A" << 1
        << QStringList {"beginRemove C#2:0 0 0", "endRemove C#2:0 0 0", "beginInsert A#0:0 1 1",
               "endInsert A#0:0 1 1"}
        << "A(a0 c0 a1) B C";
    QTest::newRow("child up to the top")
        << "a1"
        << "" << -1
        << QStringList {"beginRemove A#0:0 1 1", "endRemove A#0:0 1 1", "beginInsert - 3 3",
               "endInsert - 3 3"}
        << "A(a0) B C(c0) a1";
    QTest::newRow("top-level row before an earlier one")
        << "C"
        << "" << 0
        << QStringList {"beginRemove - 2 2", "endRemove - 2 2", "beginInsert - 0 0",
               "endInsert - 0 0"}
        << "C(c0) A(a0 a1) B";
}

void tst_PropertyItemModel::moveSignalOrder()
{
    QFETCH(QString, mover);
    QFETCH(QString, target);
    QFETCH(int, position);
    QFETCH(QStringList, announcements);
    QFETCH(QString, tree);

    TreeFixture fixture(QStringLiteral("A(a0 a1) B C(c0)"));
    PropertyItemModel &model = fixture.model;
    Tester tester(&model, Tester::FailureReportingMode::Fatal);
    // Persistent indexes on every cell, among them rows below the moved one.
    QHash<PropertyItem *, QPair<QPersistentModelIndex, QPersistentModelIndex>> cells;
    for (PropertyItem *item : std::as_const(fixture.items))
        cells.insert(item, {item->index(), item->valueIndex()});
    PropertyItem *moving = fixture.item(mover);
    PropertyItem *host = target.isEmpty() ? model.rootItem() : fixture.item(target);
    const QList<PropertyItem *> moved = subtree(moving);
    ModelSignalLog log(&model);

    if (position < 0)
        host->append(moving);
    else
        host->insert(position, moving);

    QCOMPARE(log.entries, announcements);
    QCOMPARE(dumpModel(&model), tree);
    QCOMPARE(moving->parent(), host);
    for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
        PropertyItem *item = it.key();
        QCOMPARE(item->model(), &model);
        if (moved.contains(item)) {
            // Removed and inserted again: old indexes do not follow.
            QVERIFY(!it.value().first.isValid());
            QVERIFY(!it.value().second.isValid());
        } else {
            QCOMPARE(QModelIndex(it.value().first), item->index());
            QCOMPARE(QModelIndex(it.value().second), item->valueIndex());
        }
    }
}

void tst_PropertyItemModel::treeViewEditsValueCell_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("editable");

    QTest::newRow("edit()") << "edit" << true;
    QTest::newRow("double click") << "double click" << true;
    QTest::newRow("edit key") << "key" << true;
    QTest::newRow("edit() on a read-only item") << "edit" << false;
}

void tst_PropertyItemModel::treeViewEditsValueCell()
{
    QFETCH(QString, trigger);
    QFETCH(bool, editable);

    TreeFixture tree(QStringLiteral("A(a0 a1) B"));
    PropertyItem *item = tree.item(QStringLiteral("a1"));
    item->setEditable(editable);
    QTreeView view;
    view.setModel(&tree.model);
    view.expandAll();
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QModelIndex name = item->index();
    if (!editable)
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
    if (trigger == QLatin1String("edit")) {
        view.edit(name);
    } else if (trigger == QLatin1String("double click")) {
        const QPoint centre = view.visualRect(name).center();
        // What a window system delivers: press, release, double click, release.
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, centre);
    } else {
        view.setCurrentIndex(name);
        QTest::keyClick(&view, Qt::Key_F2);
    }

    QVERIFY(!view.indexWidget(name));
    auto *editor = qobject_cast<QLineEdit *>(view.indexWidget(item->valueIndex()));
    if (!editable) {
        QVERIFY(!editor);
        QVERIFY(view.findChildren<QLineEdit *>().isEmpty());
        return;
    }
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("A1"));
    editor->clear();
    QTest::keyClicks(editor, QStringLiteral("12.5"));
    QTest::keyClick(editor, Qt::Key_Return);

    // The delegate commits once the editor has seen the key.
    QTRY_COMPARE(item->value(), QVariant(QStringLiteral("12.5")));
    QCOMPARE(item->name(), QStringLiteral("a1"));
    QCOMPARE(tree.journal.entries.first(), QStringLiteral("setValue a1 12.5 notify"));
}

QTEST_MAIN(tst_PropertyItemModel)
#include "tst_propertyitemmodel.moc"
