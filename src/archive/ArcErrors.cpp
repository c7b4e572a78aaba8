// The archive kit's numbered errors and their texts.
#include "archive/ArcErrors.h"

namespace {

struct ErrorText {
    int code;
    const char *text;
};

// The kit's messages, spelled as the users of the earlier versions know them.
const ErrorText kErrorTexts[] = {
    {25102, "File is read-only"}, {25103, "File is hidden"}, {25104, "File is a SysFile"},
    {25105, "File is a directory"}, {25106, "File is a VolumeID"}, {25108, "Bad file header"},
    {25109, "Bad block"}, {25110, "Bad Huffman code"}, {25111, "Invalid code incountered"},
    {25112, "Invalid comment header"}, {25113, "Incorrect number of bits"}, {25114, "Error writing to file"},
    {25115, "Error closing file"}, {25116, "Incomplete code set"}, {25117, "File fails CRC check"},
    {25118, "File contains invalid decode tree"}, {25119, "Invalid directory"},
    {25120, "Invalid directory... defaulting to current"}, {25125, "Disk full"},
    {25128, "Error deleting file(s)"}, {25129, "Command exec failed"}, {25132, "File not found"},
    {25133, "Warning, unknown flags"}, {25134, "Error opening file"},
    {25135, "Error reading file or unexpected end of file"}, {25136, "Header CRC error"},
    {25137, "Header ID error"}, {25138, "Invalid archive"}, {25139, "Invalid file name"},
    {25140, "Bad lengths"}, {25145, "Inconsistant local header"}, {25148, "LZX method not supported"},
    {25150, "Maximum volumes 999"}, {25153, "Out of memory"}, {25155, "Uninitialized TMemoryStream object"},
    {25157, "No central header. File may be corrupt"}, {25162, "Multi-Part GZIP files not supported"},
    {25163, "Too many nested dirs"}, {25170, "OnGetFiles event not assigned"},
    {25171, "OnRead event not assigned"}, {25172, "OnPassword event not assigned"},
    {25173, "OnNextVolume event not assigned"}, {25190, "Password protected"}, {25191, "Seek error"},
    {25192, "Ambiguous Shannon-Fano decode tree encountered"}, {25196, "Stack overflow"},
    {25197, "Stream read/write error"}, {25200, "Unsupported compression method"},
    {25202, "Unknown file type"}, {25204, "Unsupported version"}, {25210, "Error updating archive"},
    {25300, "User Aborted"}, {25302, "Version error"}, {25350, "Requires Win32 api"},
    {25901, "Extraction of this cabinet requires first disk of set"}, {25902, "Previous volume in set"},
    {25903, "Next volume in set"}, {25904, "Cabinet does not belong with this set"},
    {26517, "Invalid password"}, {26522, "Password failed"}, {26900, "Skipped File"}, {26999, "Nothing to do"},
};

} // namespace

const char *ArcErrorText(int code)
{
    for (const ErrorText &entry : kErrorTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return "";
}

EArcError::EArcError(int code) : std::runtime_error(ArcErrorText(code)), m_code(code) {}
