// The archive kit's numbered errors: their codes, their texts, and the
// exception that carries one.
#pragma once

#include <stdexcept>

// The numbered errors of the archive kit.
enum ArcError : int {
    ArcErrReadOnly = 25102, ArcErrBadFileHeader = 25108, ArcErrCloseFile = 25115, ArcErrCrc = 25117,
    ArcErrOpenFile = 25134, ArcErrReadFile = 25135, ArcErrHeaderId = 25137, ArcErrInvalidArchive = 25138,
    ArcErrInvalidFileName = 25139, ArcErrBadLengths = 25140, ArcErrLocalHeader = 25145,
    ArcErrNoCentralHeader = 25157, ArcErrOnReadMissing = 25171, ArcErrSeek = 25191,
    ArcErrUnsupportedMethod = 25200, ArcErrUnknownType = 25202, ArcErrUnsupportedVersion = 25204,
    ArcErrSkippedFile = 26900, ArcErrNothingToDo = 26999,
};

// The text of an error code (empty for a number that is not one of them).
const char *ArcErrorText(int code);

// The exception raised for a numbered error; what() is the code's text.
class EArcError : public std::runtime_error
{
public:
    explicit EArcError(int code);
    int code() const { return m_code; }

private:
    int m_code;
};
