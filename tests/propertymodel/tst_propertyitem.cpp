#include "propertyitem.h"
#include "propertyitemmodel.h"
#include "propertytestsupport.h"

#include <QtTest/qtest.h>

#include <memory>

namespace {

constexpr Qt::ItemFlags defaultFlags
    = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;

// top(middle(leaf) other) under a model's root, all recording into one journal.
struct Chain
{
    Chain()
    {
        top = new RecordingItem(QStringLiteral("top"), &journal);
        middle = new RecordingItem(QStringLiteral("middle"), &journal);
        leaf = new RecordingItem(QStringLiteral("leaf"), &journal);
        other = new RecordingItem(QStringLiteral("other"), &journal);
        middle->append(leaf);
        top->append(middle);
        top->append(other);
        model.append(top);
        journal.entries.clear();
    }

    Journal journal;
    PropertyItemModel model;
    RecordingItem *top;
    RecordingItem *middle;
    RecordingItem *leaf;
    RecordingItem *other;
};

} // namespace

class tst_PropertyItem : public QObject
{
    Q_OBJECT

private slots:
    void newItem_data();
    void newItem();
    void nameAndValue();
    void plainSettersAnnounceNothing();
    void setValue_data();
    void setValue();
    void setData_data();
    void setData();
    void childChangedClimbsToRoot();
    void insertClampsPosition_data();
    void insertClampsPosition();
    void appendDetachedSubtree();
    void removeDetachesSubtree();
    void removeOfStrangerDoesNothing();
    void resetVisitsSubtree();

    // Misuse: none of it may corrupt the tree.
    void addingListedItemMovesIt_data();
    void addingListedItemMovesIt();
    void refusesCycles_data();
    void refusesCycles();
    void refusesNullAndRootItems();
    void copyIsDetachedAndChildless();
    void assignmentKeepsPlaceAndChildren();
    void destroyingListedItemLeavesParent();
    void destroyingDetachedTree();
};

void tst_PropertyItem::newItem_data()
{
    QTest::addColumn<std::shared_ptr<PropertyItem>>("item");

    auto original = std::make_shared<PropertyItem>(QStringLiteral("parent"), 1);
    original->append(new PropertyItem(QStringLiteral("child"), 2));
    QTest::newRow("default") << std::make_shared<PropertyItem>();
    QTest::newRow("name and value") << std::make_shared<PropertyItem>(QStringLiteral("n"), 5);
    QTest::newRow("copy of a parent") << std::make_shared<PropertyItem>(*original);
}

void tst_PropertyItem::newItem()
{
    QFETCH(std::shared_ptr<PropertyItem>, item);
    QCOMPARE(item->parent(), nullptr);
    QCOMPARE(item->model(), nullptr);
    QVERIFY(item->children().isEmpty());
    QCOMPARE(item->flags(), defaultFlags);
    QCOMPARE(int(item->flags()), 35);
    QVERIFY(item->isEditable());
    QCOMPARE(item->type(), 0);
    QVERIFY(!item->index().isValid());
    QVERIFY(!item->valueIndex().isValid());
}

void tst_PropertyItem::nameAndValue()
{
    const PropertyItem item(QStringLiteral("volume"), 5);
    QCOMPARE(item.name(), QStringLiteral("volume"));
    QCOMPARE(item.value(), QVariant(5));
    QCOMPARE(item.data(Qt::DisplayRole), QVariant(5));
    QVERIFY(!item.data(Qt::EditRole).isValid());
    QVERIFY(!item.data(Qt::ToolTipRole).isValid());
    QVERIFY(PropertyItem().name().isEmpty());
    QVERIFY(!PropertyItem().value().isValid());
}

void tst_PropertyItem::plainSettersAnnounceNothing()
{
    PropertyItemModel model;
    auto *item = new PropertyItem(QStringLiteral("a"), 1);
    model.append(item);
    ModelSignalLog log(&model);

    item->setName(QStringLiteral("b"));
    item->setFlags(Qt::ItemIsEnabled);
    item->changeFlags(Qt::ItemIsEditable | Qt::ItemIsUserCheckable, true);
    item->changeFlags(Qt::ItemIsUserCheckable, false);
    QCOMPARE(item->flags(), Qt::ItemIsEnabled | Qt::ItemIsEditable);
    item->setEditable(false);
    QVERIFY(!item->isEditable());
    QCOMPARE(item->flags(), Qt::ItemIsEnabled);
    item->setEditable(true);
    QVERIFY(item->isEditable());

    QCOMPARE(item->name(), QStringLiteral("b"));
    QCOMPARE(log.entries, QStringList());
}

void tst_PropertyItem::setValue_data()
{
    QTest::addColumn<bool>("attached");
    QTest::addColumn<bool>("notify");
    QTest::addColumn<QStringList>("announcements");
    QTest::addColumn<QStringList>("journal");

    const QString changed = QStringLiteral("dataChanged top#0/middle#0/leaf#0:1 "
                                           "top#0/middle#0/leaf#0:1");
    const QStringList climbed = {QStringLiteral("childChanged middle <- leaf"),
        QStringLiteral("childChanged top <- middle")};
    // The same value twice is announced twice: values are not compared.
    QTest::newRow("attached, notify")
        << true << true << QStringList {changed, changed} << climbed + climbed;
    QTest::newRow("attached, quiet")
        << true << false << QStringList {changed, changed} << QStringList();
    QTest::newRow("detached, notify") << false << true << QStringList() << QStringList();
    QTest::newRow("detached, quiet") << false << false << QStringList() << QStringList();
}

void tst_PropertyItem::setValue()
{
    QFETCH(bool, attached);
    QFETCH(bool, notify);
    QFETCH(QStringList, announcements);
    QFETCH(QStringList, journal);

    Chain chain;
    ModelSignalLog log(&chain.model);
    std::unique_ptr<PropertyItem> detached;
    PropertyItem *item = chain.leaf;
    if (!attached) {
        detached = std::make_unique<PropertyItem>(QStringLiteral("alone"), 0);
        item = detached.get();
    }

    item->PropertyItem::setValue(3, notify);
    item->PropertyItem::setValue(3, notify);

    QCOMPARE(item->value(), QVariant(3));
    QCOMPARE(log.entries, announcements);
    QCOMPARE(chain.journal.entries, journal);
}

void tst_PropertyItem::setData_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("stored"); // entry under the folded role before
    QTest::addColumn<QVariant>("incoming");
    QTest::addColumn<QStringList>("journal");
    QTest::addColumn<bool>("announced");

    const int display = Qt::DisplayRole;
    const int edit = Qt::EditRole;
    const int tip = Qt::ToolTipRole;
    const QStringList climb = {QStringLiteral("childChanged middle <- leaf"),
        QStringLiteral("childChanged top <- middle")};
    const auto edited = [&](const QString &value) {
        return QStringList {QStringLiteral("setValue leaf %1 notify").arg(value)} + climb;
    };

    QTest::newRow("edit role folds into the value")
        << edit << QVariant(1) << QVariant(7) << edited("7") << true;
    QTest::newRow("display role") << display << QVariant(1) << QVariant(7) << edited("7") << true;
    QTest::newRow("same value by edit role")
        << edit << QVariant(7) << QVariant(7) << QStringList() << false;
    QTest::newRow("same value by display role")
        << display << QVariant(7) << QVariant(7) << QStringList() << false;
    QTest::newRow("invalid value replaces a value")
        << display << QVariant(7) << QVariant() << edited(QString()) << true;
    QTest::newRow("new tool tip") << tip << QVariant() << QVariant(QStringLiteral("t"))
                                  << QStringList() << true;
    QTest::newRow("changed tool tip") << tip << QVariant(QStringLiteral("s"))
                                      << QVariant(QStringLiteral("t")) << QStringList() << true;
    QTest::newRow("same tool tip") << tip << QVariant(QStringLiteral("t"))
                                   << QVariant(QStringLiteral("t")) << QStringList() << false;
    QTest::newRow("invalid removes a tool tip")
        << tip << QVariant(QStringLiteral("t")) << QVariant() << QStringList() << true;
    QTest::newRow("invalid for a missing role")
        << tip << QVariant() << QVariant() << QStringList() << false;
}

void tst_PropertyItem::setData()
{
    QFETCH(int, role);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, incoming);
    QFETCH(QStringList, journal);
    QFETCH(bool, announced);

    const int folded = role == Qt::EditRole ? int(Qt::DisplayRole) : role;
    Chain chain;
    if (folded == Qt::DisplayRole)
        chain.leaf->PropertyItem::setValue(stored, false);
    else if (stored.isValid())
        chain.leaf->PropertyItem::setData(stored, role);
    chain.journal.entries.clear();
    ModelSignalLog log(&chain.model);

    chain.leaf->setData(incoming, role);

    QCOMPARE(chain.leaf->data(folded), incoming);
    QVERIFY(!chain.leaf->data(Qt::EditRole).isValid());
    QCOMPARE(chain.journal.entries, journal);
    const QString valueCell = describeIndex(chain.leaf->valueIndex());
    const QStringList expected = announced
        ? QStringList {QStringLiteral("dataChanged %1 %1").arg(valueCell)}
        : QStringList();
    QCOMPARE(log.entries, expected);
}

void tst_PropertyItem::childChangedClimbsToRoot()
{
    Chain chain;
    chain.leaf->setValue(1, true);
    QCOMPARE(chain.journal.entries,
        (QStringList {QStringLiteral("setValue leaf 1 notify"),
            QStringLiteral("childChanged middle <- leaf"),
            QStringLiteral("childChanged top <- middle")}));

    chain.journal.entries.clear();
    chain.leaf->setValue(2, false);
    QCOMPARE(chain.journal.entries, QStringList {QStringLiteral("setValue leaf 2 quiet")});
}

void tst_PropertyItem::insertClampsPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<int>("row");

    QTest::newRow("negative") << -3 << "p(new a b)" << 0;
    QTest::newRow("first") << 0 << "p(new a b)" << 0;
    QTest::newRow("between") << 1 << "p(a new b)" << 1;
    QTest::newRow("end") << 2 << "p(a b new)" << 2;
    QTest::newRow("beyond the end") << 99 << "p(a b new)" << 2;
}

void tst_PropertyItem::insertClampsPosition()
{
    QFETCH(int, position);
    QFETCH(QString, tree);
    QFETCH(int, row);

    for (bool attached : {false, true}) {
        PropertyItemModel model;
        auto *parent = new PropertyItem(QStringLiteral("p"), {});
        parent->append(new PropertyItem(QStringLiteral("a"), {}));
        parent->append(new PropertyItem(QStringLiteral("b"), {}));
        std::unique_ptr<PropertyItem> owner(parent);
        if (attached)
            model.append(owner.release());
        ModelSignalLog log(&model);

        auto *child = new PropertyItem(QStringLiteral("new"), {});
        parent->insert(position, child);

        QCOMPARE(dumpTree(parent), tree);
        QCOMPARE(child->parent(), parent);
        QCOMPARE(child->model(), attached ? &model : nullptr);
        const QStringList announced = {QStringLiteral("beginInsert p#0:0 %1 %1").arg(row),
            QStringLiteral("endInsert p#0:0 %1 %1").arg(row)};
        QCOMPARE(log.entries, attached ? announced : QStringList());
        if (attached)
            QCOMPARE(child->index(), model.index(row, 0, parent->index()));
    }
}

void tst_PropertyItem::appendDetachedSubtree()
{
    PropertyItemModel model;
    auto *host = new PropertyItem(QStringLiteral("host"), {});
    model.append(host);
    auto *branch = new PropertyItem(QStringLiteral("branch"), {});
    auto *twig = new PropertyItem(QStringLiteral("twig"), {});
    auto *leaf = new PropertyItem(QStringLiteral("leaf"), {});
    twig->append(leaf);
    branch->append(twig);
    QCOMPARE(leaf->parent(), twig);
    QCOMPARE(leaf->model(), nullptr);
    ModelSignalLog log(&model);

    host->append(branch);

    QCOMPARE(log.entries,
        (QStringList {
            QStringLiteral("beginInsert host#0:0 0 0"), QStringLiteral("endInsert host#0:0 0 0")}));
    for (const PropertyItem *item : {branch, twig, leaf})
        QCOMPARE(item->model(), &model);
    QCOMPARE(leaf->index(), model.index(0, 0, model.index(0, 0, branch->index())));
    QCOMPARE(dumpModel(&model), QStringLiteral("host(branch(twig(leaf)))"));
}

void tst_PropertyItem::removeDetachesSubtree()
{
    Chain chain;
    ModelSignalLog log(&chain.model);

    chain.top->remove(chain.middle);
    std::unique_ptr<PropertyItem> removed(chain.middle);

    QCOMPARE(log.entries,
        (QStringList {
            QStringLiteral("beginRemove top#0:0 0 0"), QStringLiteral("endRemove top#0:0 0 0")}));
    QCOMPARE(chain.middle->parent(), nullptr);
    QCOMPARE(chain.middle->model(), nullptr);
    QCOMPARE(chain.leaf->parent(), chain.middle);
    QCOMPARE(chain.leaf->model(), nullptr);
    QVERIFY(!chain.leaf->index().isValid());
    QCOMPARE(dumpModel(&chain.model), QStringLiteral("top(other)"));

    // A detached item announces nothing and tells no model.
    log.entries.clear();
    chain.leaf->setValue(9, true);
    QCOMPARE(log.entries, QStringList());
    QCOMPARE(chain.journal.destroyed, 0);
}

void tst_PropertyItem::removeOfStrangerDoesNothing()
{
    Chain chain;
    ModelSignalLog log(&chain.model);
    PropertyItem stranger(QStringLiteral("stranger"), {});

    chain.top->remove(&stranger);
    chain.top->remove(chain.leaf); // a grandchild is not a child
    chain.top->remove(nullptr);

    QCOMPARE(log.entries, QStringList());
    QCOMPARE(dumpTree(chain.top), QStringLiteral("top(middle(leaf) other)"));
    QCOMPARE(chain.leaf->model(), &chain.model);
}

void tst_PropertyItem::resetVisitsSubtree()
{
    Chain chain;
    chain.leaf->reset();
    QCOMPARE(chain.journal.entries, QStringList {QStringLiteral("reset leaf")});

    chain.journal.entries.clear();
    chain.top->reset();
    QCOMPARE(chain.journal.entries,
        (QStringList {QStringLiteral("reset top"), QStringLiteral("reset middle"),
            QStringLiteral("reset leaf"), QStringLiteral("reset other")}));
}

void tst_PropertyItem::addingListedItemMovesIt_data()
{
    QTest::addColumn<int>("position"); // -1 appends
    QTest::addColumn<QString>("mover");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QStringList>("announcements");

    QTest::newRow("append the last again")
        << -1 << "c"
        << "p(a b c)"
        << QStringList {"beginRemove p#0:0 2 2", "endRemove p#0:0 2 2", "beginInsert p#0:0 2 2",
               "endInsert p#0:0 2 2"};
    QTest::newRow("append the first again")
        << -1 << "a"
        << "p(b c a)"
        << QStringList {"beginRemove p#0:0 0 0", "endRemove p#0:0 0 0", "beginInsert p#0:0 2 2",
               "endInsert p#0:0 2 2"};
    QTest::newRow("insert the last first")
        << 0 << "c"
        << "p(c a b)"
        << QStringList {"beginRemove p#0:0 2 2", "endRemove p#0:0 2 2", "beginInsert p#0:0 0 0",
               "endInsert p#0:0 0 0"};
    QTest::newRow("insert the first at row 2")
        << 2 << "a"
        << "p(b c a)"
        << QStringList {"beginRemove p#0:0 0 0", "endRemove p#0:0 0 0", "beginInsert p#0:0 2 2",
               "endInsert p#0:0 2 2"};
    QTest::newRow("insert in place") << 1 << "b"
                                     << "p(a b c)"
                                     << QStringList {"beginRemove p#0:0 1 1", "endRemove p#0:0 1 1",
                                            "beginInsert p#0:0 1 1", "endInsert p#0:0 1 1"};
}

void tst_PropertyItem::addingListedItemMovesIt()
{
    QFETCH(int, position);
    QFETCH(QString, mover);
    QFETCH(QString, tree);
    QFETCH(QStringList, announcements);

    Journal journal;
    {
        PropertyItemModel model;
        auto *parent = new RecordingItem(QStringLiteral("p"), &journal);
        model.append(parent);
        PropertyItem *moving = nullptr;
        for (const char *name : {"a", "b", "c"}) {
            auto *child = new RecordingItem(QLatin1String(name), &journal);
            parent->append(child);
            if (mover == QLatin1String(name))
                moving = child;
        }
        ModelSignalLog log(&model);

        if (position < 0)
            parent->append(moving);
        else
            parent->insert(position, moving);

        QCOMPARE(dumpTree(parent), tree);
        QCOMPARE(dumpModel(&model), tree);
        QCOMPARE(parent->children().count(moving), 1);
        QCOMPARE(moving->model(), &model);
        QCOMPARE(log.entries, announcements);
    }
    QCOMPARE(journal.destroyed, 4); // each one exactly once
}

void tst_PropertyItem::refusesCycles_data()
{
    QTest::addColumn<QString>("host"); // the item that is asked to adopt
    QTest::addColumn<QString>("child");

    QTest::newRow("itself") << "middle"
                            << "middle";
    QTest::newRow("its parent") << "leaf"
                                << "middle";
    QTest::newRow("its grandparent") << "leaf"
                                     << "top";
}

void tst_PropertyItem::refusesCycles()
{
    QFETCH(QString, host);
    QFETCH(QString, child);

    Chain chain;
    const auto find = [&](const QString &name) -> PropertyItem * {
        for (PropertyItem *item : {chain.top, chain.middle, chain.leaf})
            if (item->name() == name)
                return item;
        return nullptr;
    };
    ModelSignalLog log(&chain.model);
    const QRegularExpression warning(QStringLiteral("under itself or its own descendant"));

    for (bool append : {true, false}) {
        QTest::ignoreMessage(QtWarningMsg, warning);
        if (append)
            find(host)->append(find(child));
        else
            find(host)->insert(0, find(child));
        QCOMPARE(dumpTree(chain.top), QStringLiteral("top(middle(leaf) other)"));
        QCOMPARE(log.entries, QStringList());
    }

    // The same in a tree that no model holds.
    PropertyItem a(QStringLiteral("a"), {});
    auto *b = new PropertyItem(QStringLiteral("b"), {});
    a.append(b);
    QTest::ignoreMessage(QtWarningMsg, warning);
    b->append(&a);
    QCOMPARE(a.parent(), nullptr);
    QCOMPARE(dumpTree(&a), QStringLiteral("a(b)"));
}

void tst_PropertyItem::refusesNullAndRootItems()
{
    PropertyItemModel model;
    PropertyItemModel otherModel;
    auto *item = new PropertyItem(QStringLiteral("item"), {});
    model.append(item);
    ModelSignalLog log(&model);

    QTest::ignoreMessage(QtWarningMsg, "PropertyItem::append: cannot add a null item");
    item->append(nullptr);
    QTest::ignoreMessage(QtWarningMsg, "PropertyItem::insert: cannot add a null item");
    item->insert(0, nullptr);
    QTest::ignoreMessage(QtWarningMsg, "PropertyItem::append: cannot add the root item of a model");
    item->append(otherModel.rootItem());
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("under itself or its own descendant")));
    item->insert(0, model.rootItem());

    QCOMPARE(log.entries, QStringList());
    QCOMPARE(otherModel.rootItem()->model(), &otherModel);
    QCOMPARE(otherModel.rootItem()->parent(), nullptr);
    QCOMPARE(dumpTree(model.rootItem()), QStringLiteral("(item)"));
}

void tst_PropertyItem::copyIsDetachedAndChildless()
{
    Chain chain;
    chain.middle->setData(QStringLiteral("tip"), Qt::ToolTipRole);
    chain.middle->PropertyItem::setValue(4, false);
    chain.middle->setFlags(Qt::ItemIsEnabled);

    auto copy = std::make_unique<PropertyItem>(*chain.middle);
    QCOMPARE(copy->name(), QStringLiteral("middle"));
    QCOMPARE(copy->value(), QVariant(4));
    QCOMPARE(copy->data(Qt::ToolTipRole), QVariant(QStringLiteral("tip")));
    QCOMPARE(copy->flags(), Qt::ItemIsEnabled);
    QCOMPARE(copy->parent(), nullptr);
    QCOMPARE(copy->model(), nullptr);
    QVERIFY(copy->children().isEmpty());

    // Destroying the copy leaves the original's children alone.
    copy.reset();
    QCOMPARE(chain.journal.destroyed, 0);
    QCOMPARE(chain.leaf->parent(), chain.middle);
    QCOMPARE(dumpModel(&chain.model), QStringLiteral("top(middle(leaf) other)"));

    // A copy outliving the original's model neither reaches the model nor
    // the old parent.
    auto survivor = std::make_unique<PropertyItem>(*chain.leaf);
    chain.model.rootItem()->remove(chain.top);
    delete chain.top;
    survivor->setValue(5, true);
    QCOMPARE(survivor->value(), QVariant(5));
}

void tst_PropertyItem::assignmentKeepsPlaceAndChildren()
{
    Chain chain;
    PropertyItem source(QStringLiteral("source"), 8);
    source.append(new PropertyItem(QStringLiteral("theirs"), {}));
    source.setEditable(false);
    ModelSignalLog log(&chain.model);

    static_cast<PropertyItem &>(*chain.middle) = source;

    QCOMPARE(chain.middle->name(), QStringLiteral("source"));
    QCOMPARE(chain.middle->value(), QVariant(8));
    QVERIFY(!chain.middle->isEditable());
    QCOMPARE(chain.middle->parent(), chain.top);
    QCOMPARE(chain.middle->model(), &chain.model);
    QCOMPARE(dumpTree(chain.top), QStringLiteral("top(source(leaf) other)"));
    QCOMPARE(dumpTree(&source), QStringLiteral("source(theirs)"));
    QCOMPARE(log.entries, QStringList());
}

void tst_PropertyItem::destroyingListedItemLeavesParent()
{
    Chain chain;
    QPersistentModelIndex otherIndex = chain.other->index();
    ModelSignalLog log(&chain.model);

    delete chain.middle;

    QCOMPARE(chain.journal.destroyed, 2); // middle and its leaf
    QCOMPARE(log.entries,
        (QStringList {
            QStringLiteral("beginRemove top#0:0 0 0"), QStringLiteral("endRemove top#0:0 0 0")}));
    QCOMPARE(dumpModel(&chain.model), QStringLiteral("top(other)"));
    QCOMPARE(QModelIndex(otherIndex), chain.other->index());
    QCOMPARE(otherIndex.row(), 0);

    // The tree can still be built on and torn down.
    chain.top->append(new RecordingItem(QStringLiteral("late"), &chain.journal));
    chain.model.rootItem()->reset();
}

void tst_PropertyItem::destroyingDetachedTree()
{
    Journal journal;
    auto *top = new RecordingItem(QStringLiteral("top"), &journal);
    auto *child = new RecordingItem(QStringLiteral("child"), &journal);
    auto *grandchild = new RecordingItem(QStringLiteral("grandchild"), &journal);
    child->append(grandchild);
    top->append(child);
    top->append(new RecordingItem(QStringLiteral("second"), &journal));

    delete grandchild;
    QVERIFY(child->children().isEmpty());
    delete child;
    QCOMPARE(dumpTree(top), QStringLiteral("top(second)"));
    QCOMPARE(journal.destroyed, 2);

    delete top;
    QCOMPARE(journal.destroyed, 4);
}

QTEST_GUILESS_MAIN(tst_PropertyItem)
#include "tst_propertyitem.moc"
