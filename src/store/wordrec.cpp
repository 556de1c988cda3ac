#include "wordrec.h"

#include <QtEndian>

#include <cstring>

namespace velmora {

namespace {

double readDouble(const char* bytes) {
    const quint64 bits = qFromLittleEndian<quint64>(bytes);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void writeDouble(double value, char* bytes) {
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian<quint64>(bits, bytes);
}

} // namespace

TWordRec TWordRec::fromBytes(const char* bytes) {
    TWordRec rec;
    rec.wdFullNamePos = qFromLittleEndian<qint32>(bytes + 0);
    rec.wdTagsPos = qFromLittleEndian<qint32>(bytes + 4);
    rec.wdPasswordPos = qFromLittleEndian<qint32>(bytes + 8);
    rec.wdCreateTime = readDouble(bytes + 12);
    rec.wdAccessTime = readDouble(bytes + 20);
    rec.wdReadTimes = qFromLittleEndian<quint16>(bytes + 28);
    rec.wdEditTimes = qFromLittleEndian<quint16>(bytes + 30);
    rec.wdScore = quint8(bytes[32]);
    rec.wdArchive = bytes[33] != 0;
    rec.wdDeleted = bytes[34] != 0;
    return rec;
}

void TWordRec::toBytes(char* bytes) const {
    qToLittleEndian<qint32>(wdFullNamePos, bytes + 0);
    qToLittleEndian<qint32>(wdTagsPos, bytes + 4);
    qToLittleEndian<qint32>(wdPasswordPos, bytes + 8);
    writeDouble(wdCreateTime, bytes + 12);
    writeDouble(wdAccessTime, bytes + 20);
    qToLittleEndian<quint16>(wdReadTimes, bytes + 28);
    qToLittleEndian<quint16>(wdEditTimes, bytes + 30);
    bytes[32] = char(wdScore);
    bytes[33] = wdArchive ? 1 : 0;
    bytes[34] = wdDeleted ? 1 : 0;
}

} // namespace velmora
