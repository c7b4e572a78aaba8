// Helpers shared by the search's tests: criteria made the way the window
// makes them, the names of found records, and a host that runs a walk's
// steps at once and records them.
#pragma once

#include "search/Criteria.h"
#include "search/FoundList.h"
#include "search/SearchWalk.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace testcat {

// A snapshot of a name search through TSearchWork, as Find takes it.
TSearchCriteria NameCriteria(const QString &text, int mode = nmPartOfName, bool files = true, bool folders = true,
                             bool disks = true);
// A description search ("any description" with an empty text).
TSearchCriteria DescCriteria(int descMode, const QString &text = {});

// The name of a record: a file's stored name, a folder's or disk's node text.
QByteArray RecordName(const TItemRec *rec);
// The names of the list's entries in order, and whether every entry's
// position hint equals its index.
QStringList FoundNames(const TFoundList &list);
bool HintsMatchIndexes(const TFoundList &list);

// A direct host that records its steps as "load NAME", "unload NAME",
// "subfolders NAME" (node texts) and its progress calls; before runs ahead
// of each step (it may cancel the walk, edit records or throw), after after it.
class RecordingHost : public TDirectSearchHost
{
public:
    void loadSubfolders(TTreeNode *node) override;
    void loadFileList(TTreeNode *node, TFileListFilter *filter) override;
    void unloadFileListIfUnused(TTreeNode *node) override;
    void showProgress(int checked, int total, int found) override;

    struct Progress {
        int checked, total, found;
    };
    QStringList steps;
    std::vector<Progress> progressCalls;
    std::function<void(const QString &step)> before;
    std::function<void(const QString &step)> after;   // once the step has run
};

} // namespace testcat
