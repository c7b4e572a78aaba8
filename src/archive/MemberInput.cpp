// A member's packed bytes read from its archive source for a decoder.
#include "archive/MemberInput.h"

#include <algorithm>

int64_t TMemberInput::Read(uint8_t *buf, int64_t max)
{
    // Computed signed first: a range that starts past the source's end has nothing to give.
    const int64_t inSource = m_src.size() - m_pos;
    if (max <= 0 || inSource <= 0 || m_left == 0)
        return 0;
    const int64_t n = int64_t(std::min<uint64_t>({m_left, uint64_t(max), uint64_t(kArcBufferSize), uint64_t(inSource)}));
    if (!m_src.readAt(m_pos, buf, n))
        return 0;
    m_pos += n;
    m_left -= uint64_t(n);
    return n;
}
