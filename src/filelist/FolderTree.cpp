#include "FolderTree.h"

#include "NaturalOrder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>

#include <algorithm>
#include <vector>

namespace sondrel {

struct FolderTreeModel::Node {
    QString name;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    bool listed = false;

    int row() const
    {
        const auto& siblings = parent->children;
        for (std::size_t i = 0; i < siblings.size(); ++i)
            if (siblings[i].get() == this)
                return int(i);
        return -1;
    }
    // Where a child named name goes among the children.
    std::size_t place(const QString& childName) const
    {
        return std::size_t(std::lower_bound(children.begin(), children.end(), childName,
                                            [](const std::unique_ptr<Node>& c, const QString& n) {
                                                return naturalLess(c->name, n);
                                            })
                           - children.begin());
    }
};

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent), m_top(std::make_unique<Node>())
{
    auto root = std::make_unique<Node>();
    root->name = QStringLiteral("/");
    root->parent = m_top.get();
    m_top->children.push_back(std::move(root));
    m_top->listed = true;
    if (QApplication::style())
        m_icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
}

FolderTreeModel::~FolderTreeModel() = default;

FolderTreeModel::Node* FolderTreeModel::node(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : m_top.get();
}

QModelIndex FolderTreeModel::indexOf(Node* n) const
{
    if (!n || n == m_top.get())
        return {};
    return createIndex(n->row(), 0, n);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node* p = node(parent);
    if (column != 0 || row < 0 || std::size_t(row) >= p->children.size())
        return {};
    return createIndex(row, 0, p->children[std::size_t(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const
{
    return child.isValid() ? indexOf(node(child)->parent) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(node(parent)->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return node(index)->name;
    case Qt::DecorationRole:
        return m_icon;
    case Qt::ToolTipRole:
        return filePath(index);
    default:
        return {};
    }
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const
{
    const Node* n = node(parent);
    // Until a folder is read, it may have sub-folders.
    return !n->listed || !n->children.empty();
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const { return !node(parent)->listed; }

void FolderTreeModel::fetchMore(const QModelIndex& parent) { list(node(parent)); }

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (node(index)->parent != m_top.get())
        f |= Qt::ItemIsEditable;
    return f;
}

QString FolderTreeModel::filePath(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    QStringList parts;
    for (const Node* n = node(index); n && n != m_top.get(); n = n->parent)
        parts.prepend(n->name);
    if (parts.size() == 1)
        return parts.first();
    parts.first().clear(); // "/" joins as the leading separator
    return parts.join(QLatin1Char('/'));
}

QModelIndex FolderTreeModel::rootFolder() const { return index(0, 0); }

void FolderTreeModel::list(Node* n)
{
    if (n->listed)
        return;
    n->listed = true;
    QStringList names = QDir(filePath(indexOf(n))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return naturalLess(a, b); });
    const QModelIndex at = indexOf(n);
    if (!names.isEmpty()) {
        beginInsertRows(at, 0, int(names.size()) - 1);
        for (const QString& name : names) {
            auto child = std::make_unique<Node>();
            child->name = name;
            child->parent = n;
            n->children.push_back(std::move(child));
        }
        endInsertRows();
    }
    if (at.isValid())
        emit dataChanged(at, at); // its expander may go
}

FolderTreeModel::Node* FolderTreeModel::insertChild(Node* parent, const QString& name)
{
    const std::size_t pos = parent->place(name);
    beginInsertRows(indexOf(parent), int(pos), int(pos));
    auto child = std::make_unique<Node>();
    child->name = name;
    child->parent = parent;
    Node* made = child.get();
    parent->children.insert(parent->children.begin() + std::ptrdiff_t(pos), std::move(child));
    endInsertRows();
    return made;
}

QModelIndex FolderTreeModel::folderIndex(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isAbsolute() || !info.isDir())
        return {};
    Node* n = m_top->children.front().get();
    for (const QString& part : QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        list(n);
        const auto found = std::find_if(n->children.begin(), n->children.end(),
                                        [&](const std::unique_ptr<Node>& c) { return c->name == part; });
        // A folder made since its parent was read, or a hidden one named in the path.
        n = found != n->children.end() ? found->get() : insertChild(n, part);
    }
    return indexOf(n);
}

QModelIndex FolderTreeModel::makeFolder(const QModelIndex& parent, const QString& name, QString* error)
{
    Node* p = node(parent);
    if (p == m_top.get())
        return {};
    list(p);
    const QString folder = filePath(parent);
    QDir dir(folder);
    QString candidate = name;
    for (int n = 2; dir.exists(candidate); ++n)
        candidate = QStringLiteral("%1 (%2)").arg(name).arg(n);
    if (!dir.mkdir(candidate)) {
        if (error)
            *error = QStringLiteral("A folder cannot be made in %1.").arg(folder);
        return {};
    }
    return indexOf(insertChild(p, candidate));
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    Node* n = node(index);
    const QString name = value.toString().trimmed();
    if (name.isEmpty() || name == n->name || name.contains(QLatin1Char('/')) || name == QLatin1String(".")
        || name == QLatin1String(".."))
        return false;
    QDir parentDir(filePath(indexOf(n->parent)));
    if (parentDir.exists(name) || !parentDir.rename(n->name, name))
        return false;
    Node* parent = n->parent;
    const int from = n->row();
    n->name = name;
    // Moved to its place in the order; the selection follows it.
    std::size_t to = 0;
    for (const auto& c : parent->children)
        if (c.get() != n && naturalLess(c->name, name))
            ++to;
    if (int(to) != from) {
        const int dest = int(to) > from ? int(to) + 1 : int(to);
        beginMoveRows(indexOf(parent), from, from, indexOf(parent), dest);
        std::unique_ptr<Node> moved = std::move(parent->children[std::size_t(from)]);
        parent->children.erase(parent->children.begin() + from);
        parent->children.insert(parent->children.begin() + std::ptrdiff_t(to), std::move(moved));
        endMoveRows();
    }
    const QModelIndex now = indexOf(n);
    emit dataChanged(now, now);
    return true;
}

} // namespace sondrel
