#pragma once

#include <QtGlobal>

namespace velmora {

// One document's record as it lies in the record file: 35 bytes, packed, little-endian, no padding.
struct TWordRec {
    static constexpr int Size = 35;

    qint32 wdFullNamePos = -1;
    qint32 wdTagsPos = -1;
    qint32 wdPasswordPos = -1;
    double wdCreateTime = 0.0;
    double wdAccessTime = 0.0;
    quint16 wdReadTimes = 0;
    quint16 wdEditTimes = 0;
    quint8 wdScore = 0;
    bool wdArchive = false;
    bool wdDeleted = false;

    static TWordRec fromBytes(const char* bytes);
    void toBytes(char* bytes) const;

    friend bool operator==(const TWordRec&, const TWordRec&) = default;
};

} // namespace velmora
