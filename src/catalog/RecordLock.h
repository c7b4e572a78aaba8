// The lock between a search worker, which reads records, file chains and
// folder levels while it walks, and the main thread, which changes them
// (loading and dropping file lists and folder levels, editing descriptions
// and categories). The worker holds a read scope while it reads one node;
// every change takes a write scope. Write scopes nest on their thread, so a
// change may call another; a read scope inside a write scope of the same
// thread, or inside another read scope, takes nothing more.
#pragma once

class TTreeNode;

class TRecordReadScope
{
public:
    TRecordReadScope();
    ~TRecordReadScope();
    TRecordReadScope(const TRecordReadScope &) = delete;
    TRecordReadScope &operator=(const TRecordReadScope &) = delete;

private:
    bool m_counted = false;   // counted in the thread's read depth
    bool m_locked = false;    // the outermost reader: holds the shared lock
};

class TRecordWriteScope
{
public:
    TRecordWriteScope();
    ~TRecordWriteScope();
    TRecordWriteScope(const TRecordWriteScope &) = delete;
    TRecordWriteScope &operator=(const TRecordWriteScope &) = delete;
};

// Whether the calling thread holds a write scope.
bool HoldsRecordWriteScope();

// The file chain a search worker is scanning. The worker lets writers in
// between its steps (every 128 files), so dropping a file list leaves the
// pinned chain alone: a description edit may change its texts, but its
// records stay where they are. Set and cleared with a read scope held; null
// pins nothing.
void PinFileChain(const TTreeNode *node);
bool FileChainPinned(const TTreeNode *node);

// Every file chain pinned for the scope's life: a duplicates search keeps
// pointers to records of every chain it read until it has grouped them.
class TPinAllFileChains
{
public:
    TPinAllFileChains();
    ~TPinAllFileChains();
    TPinAllFileChains(const TPinAllFileChains &) = delete;
    TPinAllFileChains &operator=(const TPinAllFileChains &) = delete;
};
