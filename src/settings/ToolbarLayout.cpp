// The main toolbar's button table and the "CustomToolbar" byte layout.
#include "settings/ToolbarLayout.h"

#include <set>

const std::vector<TToolbarButtonInfo> &ToolbarButtons()
{
    static const std::vector<TToolbarButtonInfo> buttons = {
        {1, "ButtonNew", "Create New Catalog"},
        {2, "ButtonOpen", "Open Catalog"},
        {3, "ButtonSave", "Save Current Catalog"},
        {5, "ButtonPrint", "Generate Report"},
        {6, "ButtonAddDisk", "Add/Update Disk Image in Catalog"},
        {7, "ButtonCompare", "Compare Disk or Folder to Media"},
        {8, "ButtonSearch", "Search for Items"},
        {9, "ButtonUserList", "View User List"},
        {11, "ButtonBack", "Back One Level"},
        {12, "ButtonEditDesc", "Edit Description"},
        {13, "ButtonProperties", "Item Properties"},
        {14, "ButtonSetCat", "Set Category and Flags"},
        {15, "ButtonExplorer", "Open in Explorer"},
        {16, "ButtonView", "View File in ASCII Viewer"},
        {17, "ButtonLaunch", "Launch File in Associated Program"},
        {18, "ButtonExtract", "Extract from Compressed File"},
        {19, "ButtonAddList", "Add to User List"},
        {21, "ButtonLargeIcon", "Show Large Icons"},
        {22, "ButtonList", "Show Icon List"},
        {23, "ButtonSmallIcon", "Show Small Icons"},
        {24, "ButtonDetails", "Show Details"},
        {26, "ButtonSort1", "Sort by Name"},
        {27, "ButtonSort2", nullptr},   // the hint names the second sort key
        {28, "ButtonSort3", "Sort by Size"},
        {29, "ButtonSort4", nullptr},   // the hint names the fourth sort key
        {30, "ButtonReverseSort", "Reverse Sort Order"},
        {32, "ButtonHelp", "What Is This?"},
    };
    return buttons;
}

const TToolbarButtonInfo *FindToolbarButton(int tag)
{
    for (const TToolbarButtonInfo &button : ToolbarButtons())
        if (button.Tag == tag)
            return &button;
    return nullptr;
}

std::vector<quint8> BuiltInToolbarLayout()
{
    constexpr quint8 S = kToolbarSeparator;
    return {1, 2, 3, S, 5, 6, 8, 9, 7, S, 11, 12, 13, 14, 15, 16, 17, 18, 19, S,
            21, 22, 23, 24, S, 26, 27, 28, 29, 30, S, 32, kToolbarMarker};
}

std::vector<quint8> ParseCustomToolbar(QByteArrayView bytes)
{
    std::vector<quint8> entries;
    std::set<int> named;
    bool marker = false;
    for (char c : bytes) {
        const quint8 code = uchar(c);
        if (code == kToolbarMarker) {
            if (!marker)
                entries.push_back(kToolbarMarker);
            marker = true;
        } else if (code == kToolbarSeparator) {
            if (!marker)
                entries.push_back(kToolbarSeparator);
        } else if (FindToolbarButton(code) && named.insert(code).second) {
            // A button has one place; a repeated tag is ignored.
            entries.push_back(code);
        }
    }
    if (!marker)
        entries.push_back(kToolbarMarker);
    for (const TToolbarButtonInfo &button : ToolbarButtons())
        if (!named.count(button.Tag))
            entries.push_back(button.Tag);
    return entries;
}

QByteArray WriteCustomToolbar(const std::vector<quint8> &entries)
{
    QByteArray out;
    for (quint8 entry : entries) {
        if (out.size() >= kCustomToolbarMax)
            break;
        out += char(entry);
    }
    return out;
}
