// The catalog side's extraction driver: picks the extractor for an archive
// by its extension index, runs it with a progress window, and turns the last
// error code the extractor reported into one message for the user. It also
// keeps the extraction state (last code, quiet and remember flags) and the
// list of extracted temporary files removed when the program ends.
#pragma once

#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"
#include "platform/Prompter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Codes of the extraction state besides the kit's own.
inline constexpr int kExtractException = -2; // an exception ended the extraction
inline constexpr int kExtractCancelled = -3; // the user cancelled

// The program's extraction state.
struct TExtractState {
    int lastError = 0;       // 0, a kit code 25100..25899, or -2 / -3
    bool quiet = false;      // no CRC warning and no error message
    bool remember = false;   // extracted files go on the temporary-file list
    QStringList temporaryFiles;
};

// The one extraction state of the program.
TExtractState &ExtractionState();

// The message the driver shows for an error code.
QString ExtractErrorMessage(int code);

// The extractor for an extension index of the catalog-side table, or null when this build has none.
std::unique_ptr<TUnBase> MakeExtractor(int extIndex);

// What the driver needs besides the fixed parameters: where messages and
// progress go, passwords to try, and an optional overwrite decision (without
// it existing files are kept).
struct TExtractOptions {
    Prompter *prompter = nullptr;      // null: DefaultPrompter()
    ProgressSink *progress = nullptr;  // null: no wait window even with showProgress
    QStringList passwords;
    std::function<bool(const QString &path)> overwrite;
    // Whether a member is wanted, by its output path (asked before it is
    // written); empty: every member the mask selects.
    std::function<bool(const QString &path)> accept;
    // The most bytes one member may unpack to (TUnBase::OutputLimit).
    uint64_t outputLimit = TUnBase::kNoOutputLimit;
    // Also the kit's extractors of types the catalog does not extract from (CAB), as the
    // command line offers them; the catalog's callers leave it off.
    bool beyondCatalog = false;
};

// Extracts the members matching mask from the archive into destDir; true on
// success. An index without extractor, or one the catalog does not extract from
// (unless options.beyondCatalog), is success at once. names is for the
// RAR extractor and is not used by the others.
bool ExtractFromArchive(int extIndex, const QString &archivePath, const QString &destDir, bool showProgress,
                        bool useStoredDirs, bool remember, const QStringList *names, const QString &mask,
                        const TExtractOptions &options = {});
