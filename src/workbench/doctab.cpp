#include "doctab.h"

#include "common/titlewidth.h"

#include <QFileInfo>

namespace velmora {

TabKind KindOfPath(const QString& path) {
    if (path.contains(QLatin1String(".xls"), Qt::CaseInsensitive)) {
        return TabKind::Workbook;
    }
    if (path.contains(QLatin1String(".doc"), Qt::CaseInsensitive)) {
        return TabKind::Document;
    }
    return TabKind::NewDocument;
}

TabKind DocTab::kind() const {
    return KindOfPath(path);
}

QString DocumentCaption(const QString& path) {
    return ShortenTitle(QFileInfo(path).completeBaseName());
}

QString DocumentSaveName(const QString& picked) {
    const QString name = picked.trimmed();
    if (name.isEmpty() || name.endsWith(QLatin1String(".doc"), Qt::CaseInsensitive) ||
        name.endsWith(QLatin1String(".docx"), Qt::CaseInsensitive)) {
        return name;
    }
    return name + QLatin1String(".docx");
}

} // namespace velmora
