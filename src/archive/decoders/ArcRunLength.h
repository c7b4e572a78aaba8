// The run-length stage of the ARC methods 3, 4, 6, 7 and 8: byte 90h
// introduces a count. "90h n" with n > 0 repeats the byte before it until
// it has come n times in all; "90h 00" is the byte 90h itself. Bytes go on
// to an output buffer capped at the member's size, so a run never passes it.
#pragma once

#include "archive/decoders/BitReader.h"

#include <cstdint>

class TArcRunLength
{
public:
    explicit TArcRunLength(TOutputBuffer &out) : m_out(out) {}

    bool Done() const { return m_out.Done(); }

    void Put(uint8_t c)
    {
        if (!m_inRun) {
            if (c == kMarker) {
                m_inRun = true;
                return;
            }
            m_last = c;
            m_out.Put(c);
            return;
        }
        m_inRun = false;
        if (c == 0) {
            // The marker byte itself; it is also what a count after it repeats.
            m_last = kMarker;
            m_out.Put(kMarker);
            return;
        }
        for (int i = 1; i < c && !m_out.Done(); ++i)
            m_out.Put(m_last);
    }

private:
    static constexpr uint8_t kMarker = 0x90;
    TOutputBuffer &m_out;
    uint8_t m_last = 0;
    bool m_inRun = false;
};
