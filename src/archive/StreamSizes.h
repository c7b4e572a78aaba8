// The unpacked size of a plain xz or zstd stream, read from what the format
// records of it instead of decoding it: the index at the end of every xz
// stream, the content size in a zstd frame's header. bzip2 records no size.
#pragma once

#include "archive/ArcSources.h"
#include "archive/ArcTypes.h"

#include <cstdint>
#include <optional>

// The unpacked size of the stream of type (XZ or Zstd) that fills src from
// base to its end; nullopt when the type records none, the file does not
// record it (a zstd frame written through a pipe), or what it records does not
// add up to the file (damage). Reads a few small blocks, never the data.
std::optional<uint64_t> RecordedStreamSize(TArcType type, TArcSource &src, int64_t base);
