#pragma once
// Little-endian reading and writing for the metafile record walkers. Reads never leave the
// buffer: callers check the length first, and these only assemble bytes.

#include <QByteArray>

#include <cstdint>

namespace palvane::metafile {

inline quint16 u16At(const char* p) {
    return quint16(quint8(p[0]) | (quint8(p[1]) << 8));
}
inline qint16 s16At(const char* p) {
    return qint16(u16At(p));
}
inline quint32 u32At(const char* p) {
    return quint32(u16At(p)) | (quint32(u16At(p + 2)) << 16);
}
inline qint32 s32At(const char* p) {
    return qint32(u32At(p));
}

class ByteWriter {
public:
    void u16(quint16 v) {
        bytes.append(char(v & 0xFF));
        bytes.append(char(v >> 8));
    }
    void s16(qint16 v) { u16(quint16(v)); }
    void u32(quint32 v) {
        u16(quint16(v & 0xFFFF));
        u16(quint16(v >> 16));
    }
    void s32(qint32 v) { u32(quint32(v)); }
    void raw(const char* p, qsizetype n) { bytes.append(p, n); }
    void zeros(qsizetype n) { bytes.append(n, '\0'); }
    void putU32At(qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((v >> (8 * i)) & 0xFF);
    }

    QByteArray bytes;
};

} // namespace palvane::metafile
