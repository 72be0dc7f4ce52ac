#pragma once
#include <QAbstractItemModel>
#include <QIcon>
#include <memory>

namespace sondrel {

// The folders of the file system from "/" down, for the folder picker. A folder's list is
// read when the folder is first opened or a path through it is looked up, and never in the
// background, so nothing moves in the tree once it is shown. Folders appear in natural name
// order; hidden (dot) folders are left out unless a path names one. GUI thread only.
class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Renames the folder on disk (the name of a new folder is edited in place).
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The node "/" at the top.
    QModelIndex rootFolder() const;
    QString filePath(const QModelIndex& index) const;
    // The node of an existing folder (a clean absolute path), reading the folders on the way;
    // invalid when there is no such folder.
    QModelIndex folderIndex(const QString& path);
    // Makes a folder named name, or "name (2)" and so on when that exists, in parent; its
    // node, or invalid with the reason in error.
    QModelIndex makeFolder(const QModelIndex& parent, const QString& name, QString* error);

private:
    struct Node;
    Node* node(const QModelIndex& index) const;
    QModelIndex indexOf(Node* n) const;
    void list(Node* n);
    // Inserts a child named name at its place in the natural order; returns it.
    Node* insertChild(Node* parent, const QString& name);
    std::unique_ptr<Node> m_top; // invisible; its one child is "/"
    QIcon m_icon;
};

} // namespace sondrel
