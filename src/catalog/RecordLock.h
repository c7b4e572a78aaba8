// The lock between a search worker, which reads records, file chains and
// folder levels while it walks, and the main thread, which changes them
// (loading and dropping file lists and folder levels, editing descriptions
// and categories). The worker holds a read scope while it reads one node;
// every change takes a write scope. Write scopes nest on their thread, so a
// change may call another.
#pragma once

class TRecordReadScope
{
public:
    TRecordReadScope();
    ~TRecordReadScope();
    TRecordReadScope(const TRecordReadScope &) = delete;
    TRecordReadScope &operator=(const TRecordReadScope &) = delete;
};

class TRecordWriteScope
{
public:
    TRecordWriteScope();
    ~TRecordWriteScope();
    TRecordWriteScope(const TRecordWriteScope &) = delete;
    TRecordWriteScope &operator=(const TRecordWriteScope &) = delete;
};
