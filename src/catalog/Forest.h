// The catalog forest: the nodes of the main tree, which are the container of
// every open catalog. A node has a text, two image indexes, a bold mark, an
// expand-button mark, ordered children and a pointer to its record. The forest
// works without any view; views mirror it through ForestObserver.
#pragma once

#include <QByteArray>

#include <functional>
#include <memory>
#include <vector>

struct TItemRec;
class TForest;

class TTreeNode
{
public:
    TTreeNode *parent() const { return m_parent; }
    const std::vector<TTreeNode *> &children() const { return m_children; }
    int childCount() const { return int(m_children.size()); }
    TTreeNode *child(int i) const { return m_children[size_t(i)]; }
    TTreeNode *firstChild() const { return m_children.empty() ? nullptr : m_children.front(); }
    TTreeNode *nextSibling() const;
    int index() const;   // position among its parent's children (or the forest's roots)
    TForest *forest() const { return m_forest; }

    const QByteArray &text() const { return m_text; }
    int imageIndex() const { return m_imageIndex; }
    int selectedIndex() const { return m_selectedIndex; }
    bool bold() const { return m_bold; }
    bool hasExpandMark() const { return m_expandMark; }
    TItemRec *data() const { return m_data; }

    void setText(const QByteArray &text);
    void setImages(int image, int selected);
    void setBold(bool bold);
    void setExpandMark(bool on);
    void setData(TItemRec *rec) { m_data = rec; }

private:
    friend class TForest;
    TTreeNode(TForest *forest, TTreeNode *parent, const QByteArray &text)
        : m_forest(forest), m_parent(parent), m_text(text) {}

    TForest *m_forest;
    TTreeNode *m_parent;
    std::vector<TTreeNode *> m_children;
    QByteArray m_text;
    TItemRec *m_data = nullptr;
    int m_imageIndex = -1;
    int m_selectedIndex = -1;
    bool m_bold = false;
    bool m_expandMark = false;
};

// Change notices for views. Removal is announced before the node goes away.
class ForestObserver
{
public:
    virtual ~ForestObserver() = default;
    virtual void nodeInserted(TTreeNode *node) { (void)node; }
    virtual void nodeAboutToBeRemoved(TTreeNode *node) { (void)node; }
    virtual void nodeRemoved(TTreeNode *parent, int index) { (void)parent; (void)index; }
    virtual void nodeChanged(TTreeNode *node) { (void)node; }   // text, images, bold, expand mark
    virtual void childrenReordered(TTreeNode *parent) { (void)parent; }
};

class TForest
{
public:
    TForest() = default;
    ~TForest();   // deletes every node and frees its record (result lists untouched)
    TForest(const TForest &) = delete;
    TForest &operator=(const TForest &) = delete;

    const std::vector<TTreeNode *> &roots() const { return m_roots; }

    // Adds a node as the last child of parent (null: a top-level node), or
    // before position index when index is not negative.
    TTreeNode *addChild(TTreeNode *parent, const QByteArray &text, int index = -1);

    using NodeCallback = std::function<void(TTreeNode *)>;
    // Deletes the node and its subtree; onDelete runs for every node, children
    // before their parent, while the node is still intact.
    void deleteNode(TTreeNode *node, const NodeCallback &onDelete);
    // Deletes the children of a node (not the node).
    void deleteChildren(TTreeNode *node, const NodeCallback &onDelete);
    void deleteAll(const NodeCallback &onDelete);

    // Reorders the children of parent (null: the roots) by lessThan, stably.
    void sortChildren(TTreeNode *parent, const std::function<bool(TTreeNode *, TTreeNode *)> &lessThan);
    // Moves node to become a child of newParent at index (-1: last).
    void moveNode(TTreeNode *node, TTreeNode *newParent, int index = -1);

    void addObserver(ForestObserver *observer);
    void removeObserver(ForestObserver *observer);
    void notifyChanged(TTreeNode *node);

private:
    std::vector<TTreeNode *> &siblingsOf(TTreeNode *parent) { return parent ? parent->m_children : m_roots; }
    void destroy(TTreeNode *node, const NodeCallback &onDelete);

    std::vector<TTreeNode *> m_roots;
    std::vector<ForestObserver *> m_observers;
};
