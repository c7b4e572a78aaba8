// The packed bytes of one archive member as a decoder's input: a byte range
// of an archive source, handed out in buffer-sized pieces. Shared by every
// reader whose decoders read straight from the archive.
#pragma once

#include "archive/ArcSources.h"
#include "archive/decoders/Decoder.h"

#include <cstdint>

// length bytes from offset of src. A read never passes the range, the end of
// the source or kArcBufferSize; a failed read or the end of either yields 0
// (the decoder then reports Truncated). The source is borrowed, not owned.
class TMemberInput : public DecodeInput
{
public:
    TMemberInput(TArcSource &src, int64_t offset, uint64_t length) : m_src(src), m_pos(offset), m_left(length) {}
    int64_t Read(uint8_t *buf, int64_t max) override;

private:
    TArcSource &m_src;
    int64_t m_pos;
    uint64_t m_left;
};
