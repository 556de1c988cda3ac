#include "corpusappdata.h"

#include "libraryfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmora::test {

CorpusAppData::CorpusAppData() {
    QDir().mkpath(DocPath(QString()));
}

bool CorpusAppData::copy(const QString& corpusName, const QString& target) const {
    const QString path = DocPath(target);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return QFile::copy(qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/corpus/") + corpusName,
                       path);
}

} // namespace velmora::test
