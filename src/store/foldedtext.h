#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace velmora {

// A cache file's inflated bytes as case-folded text, the one form whole-text search compares with (and the
// text index takes its terms from). GBK, the usual encoding, is decoded and folded in one pass through a
// table; UTF-8 and UTF-16 files (those with a byte-order mark) through Qt.
QString FoldedCacheText(QByteArrayView plain);

// Inflates a cache file's bytes; false when the stream is not whole or inflates beyond any cached text.
bool InflateCacheBytes(QByteArrayView compressed, QByteArray& plain);

} // namespace velmora
