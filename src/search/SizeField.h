// One size field of the search window: a number typed by the user and its
// unit ("Bytes" to "TB"), turned into a byte count the way the window shows
// it back (a fraction moves one unit down: 1.5 MB becomes 1536 KB).
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

enum class SizeUnit : int { Bytes = 0, KB, MB, GB, TB };

struct TSizeField {
    QString text = QStringLiteral("0");
    SizeUnit unit = SizeUnit::Bytes;
};

// Normalises field in place (text becomes a whole number, a fraction moves
// the unit one step down once) and returns its size in bytes. Sizes are
// 64-bit, so a bound of several gigabytes compares as typed; a size past
// the 64-bit range is held at its largest value. Nothing when the text is
// not a number (the field is then left as typed).
std::optional<int64_t> SizeToBytes(TSizeField &field);
