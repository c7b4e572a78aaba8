// The bounds-checked cursor every binary record is parsed with: archive
// headers, directories, executables' resource tables. It reads little-endian
// values and strings from a block held in memory and never trusts a length:
// a read that would pass the end yields 0 (or an empty view), moves the cursor
// to the end and sets a sticky failure flag, so a parser reads a whole record
// and checks failed() once. Nothing is copied; the block must outlive the
// reader and the views it hands out.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>

#include <cstdint>

class TByteReader
{
public:
    // The reader only views data: the bytes must outlive it, so a temporary
    // array (which would be freed at the end of the statement) is refused.
    explicit TByteReader(QByteArrayView data) : m_data(data) {}
    explicit TByteReader(QByteArray &&) = delete;

    uint8_t u8() { return take<uint8_t>(); }
    uint16_t u16le() { return take<uint16_t>(); }
    uint32_t u32le() { return take<uint32_t>(); }
    uint64_t u64le() { return take<uint64_t>(); }

    // The next n bytes; an empty view (and failure) when fewer are left or n is negative.
    QByteArrayView bytes(qsizetype n)
    {
        if (n < 0 || n > remaining())
            return fail(), QByteArrayView();
        const QByteArrayView v = m_data.sliced(m_pos, n);
        m_pos += n;
        return v;
    }

    // A fixed-length text field of n bytes: its bytes up to the first NUL (all n
    // without one). The cursor moves past the whole field.
    QByteArrayView fixedString(qsizetype n)
    {
        const QByteArrayView field = bytes(n);
        const qsizetype nul = field.indexOf('\0');
        return nul >= 0 ? field.first(nul) : field;
    }

    // A zero-terminated text: at most limit of its bytes (a longer text is cut
    // there); the cursor moves past its terminator. Failure when no terminator
    // is left in the block.
    QByteArrayView zeroTerminated(qsizetype limit)
    {
        const QByteArrayView rest = m_data.sliced(m_pos);
        const qsizetype nul = rest.indexOf('\0');
        if (nul < 0)
            return fail(), QByteArrayView();
        m_pos += nul + 1;
        return rest.first(limit >= 0 && limit < nul ? limit : nul);
    }

    // Moves n bytes on (failure past the end or for a negative n).
    void skip(qsizetype n)
    {
        if (n < 0 || n > remaining())
            return fail();
        m_pos += n;
    }
    // Moves to an absolute position in the block (failure outside it).
    void seek(qsizetype pos)
    {
        if (pos < 0 || pos > m_data.size())
            return fail();
        m_pos = pos;
    }

    qsizetype pos() const { return m_pos; }
    qsizetype remaining() const { return m_data.size() - m_pos; }
    qsizetype size() const { return m_data.size(); }
    bool atEnd() const { return m_pos >= m_data.size(); }
    // True once any read, skip or seek went past the block; stays set.
    bool failed() const { return m_failed; }

    // The value at a fixed offset of data, without a cursor: 0 when it does not
    // lie wholly inside. For records of named offsets read out of order.
    static uint16_t u16At(QByteArrayView data, qsizetype offset) { return valueAt<uint16_t>(data, offset); }
    static uint32_t u32At(QByteArrayView data, qsizetype offset) { return valueAt<uint32_t>(data, offset); }
    static uint64_t u64At(QByteArrayView data, qsizetype offset) { return valueAt<uint64_t>(data, offset); }

private:
    template <typename T>
    static T valueAt(QByteArrayView data, qsizetype offset)
    {
        if (offset < 0 || offset > data.size() - qsizetype(sizeof(T)))
            return 0;
        return qFromLittleEndian<T>(data.data() + offset);
    }

    template <typename T>
    T take()
    {
        if (remaining() < qsizetype(sizeof(T)))
            return fail(), T(0);
        const T v = qFromLittleEndian<T>(m_data.data() + m_pos);
        m_pos += qsizetype(sizeof(T));
        return v;
    }

    void fail()
    {
        m_failed = true;
        m_pos = m_data.size();
    }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    bool m_failed = false;
};
