// The catalog forest's node bookkeeping and change notices.
#include "catalog/Forest.h"

#include "catalog/CatalogRec.h"

#include <algorithm>

TTreeNode *TTreeNode::nextSibling() const
{
    const auto &siblings = m_parent ? m_parent->m_children : m_forest->roots();
    const int i = index();
    return i >= 0 && size_t(i) + 1 < siblings.size() ? siblings[size_t(i) + 1] : nullptr;
}

int TTreeNode::index() const
{
    const auto &siblings = m_parent ? m_parent->m_children : m_forest->roots();
    // Nodes are mostly appended and looked up near the end (the last folder read).
    for (size_t i = siblings.size(); i-- > 0;)
        if (siblings[i] == this)
            return int(i);
    return -1;
}

void TTreeNode::setText(const QByteArray &text)
{
    if (m_text == text)
        return;
    m_text = text;
    m_forest->notifyChanged(this);
}

void TTreeNode::setImages(int image, int selected)
{
    if (m_imageIndex == image && m_selectedIndex == selected)
        return;
    m_imageIndex = image;
    m_selectedIndex = selected;
    m_forest->notifyChanged(this);
}

void TTreeNode::setBold(bool bold)
{
    if (m_bold == bold)
        return;
    m_bold = bold;
    m_forest->notifyChanged(this);
}

void TTreeNode::setExpandMark(bool on)
{
    if (m_expandMark == on)
        return;
    m_expandMark = on;
    m_forest->notifyChanged(this);
}

namespace {
// Inserts before position index, or at the end when index is negative or past it.
void insertAt(std::vector<TTreeNode *> &siblings, TTreeNode *node, int index)
{
    if (index < 0 || size_t(index) >= siblings.size())
        siblings.push_back(node);
    else
        siblings.insert(siblings.begin() + index, node);
}
} // namespace

TForest::~TForest()
{
    // Whatever is still open goes with its records; the result lists are the
    // business of whoever closed catalogs before.
    deleteAll([](TTreeNode *node) { FreeItemData(node, true, true); });
}

TTreeNode *TForest::addChild(TTreeNode *parent, const QByteArray &text, int index)
{
    auto *node = new TTreeNode(this, parent, text);
    insertAt(siblingsOf(parent), node, index);
    for (ForestObserver *o : m_observers)
        o->nodeInserted(node);
    return node;
}

void TForest::destroy(TTreeNode *node, const NodeCallback &onDelete)
{
    // Iterative post-order, so that deep trees cannot exhaust the stack.
    std::vector<std::pair<TTreeNode *, size_t>> stack{{node, 0}};
    while (!stack.empty()) {
        auto &[n, next] = stack.back();
        if (next < n->m_children.size()) {
            TTreeNode *child = n->m_children[next++];
            stack.push_back({child, 0});
            continue;
        }
        TTreeNode *done = n;
        stack.pop_back();
        if (onDelete)
            onDelete(done);
        done->m_children.clear();
        delete done;
    }
}

void TForest::deleteNode(TTreeNode *node, const NodeCallback &onDelete)
{
    if (!node)
        return;
    for (ForestObserver *o : m_observers)
        o->nodeAboutToBeRemoved(node);
    TTreeNode *parent = node->m_parent;
    auto &siblings = siblingsOf(parent);
    const int index = node->index();
    if (index >= 0)
        siblings.erase(siblings.begin() + index);
    destroy(node, onDelete);
    for (ForestObserver *o : m_observers)
        o->nodeRemoved(parent, index);
}

void TForest::deleteChildren(TTreeNode *node, const NodeCallback &onDelete)
{
    while (node && !node->m_children.empty())
        deleteNode(node->m_children.back(), onDelete);
}

void TForest::deleteAll(const NodeCallback &onDelete)
{
    while (!m_roots.empty())
        deleteNode(m_roots.back(), onDelete);
}

void TForest::sortChildren(TTreeNode *parent, const std::function<bool(TTreeNode *, TTreeNode *)> &lessThan)
{
    auto &siblings = siblingsOf(parent);
    std::stable_sort(siblings.begin(), siblings.end(), lessThan);
    for (ForestObserver *o : m_observers)
        o->childrenReordered(parent);
}

void TForest::moveNode(TTreeNode *node, TTreeNode *newParent, int index)
{
    for (TTreeNode *p = newParent; p; p = p->m_parent)
        if (p == node)
            return;   // a node cannot move below itself
    for (ForestObserver *o : m_observers)
        o->nodeAboutToBeRemoved(node);
    TTreeNode *oldParent = node->m_parent;
    auto &oldSiblings = siblingsOf(oldParent);
    const int oldIndex = node->index();
    oldSiblings.erase(oldSiblings.begin() + oldIndex);
    for (ForestObserver *o : m_observers)
        o->nodeRemoved(oldParent, oldIndex);
    node->m_parent = newParent;
    insertAt(siblingsOf(newParent), node, index);
    for (ForestObserver *o : m_observers)
        o->nodeInserted(node);
}

void TForest::addObserver(ForestObserver *observer)
{
    m_observers.push_back(observer);
}

void TForest::removeObserver(ForestObserver *observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void TForest::notifyChanged(TTreeNode *node)
{
    for (ForestObserver *o : m_observers)
        o->nodeChanged(node);
}
