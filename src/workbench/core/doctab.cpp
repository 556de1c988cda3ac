#include "workbench/core/doctab.h"

#include "common/titlewidth.h"

#include <QFileInfo>

namespace velmora {

TabKind KindOfPath(const QString& path) {
    // Only the file's own extension counts: a folder or a name holding ".xls" or ".doc" elsewhere says nothing.
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"xls" || suffix == u"xlsx" || suffix == u"xlsm" || suffix == u"xlsb") {
        return TabKind::Workbook;
    }
    if (suffix == u"doc" || suffix == u"docx") {
        return TabKind::Document;
    }
    return TabKind::NewDocument;
}

TabKind DocTab::kind() const {
    return KindOfPath(path);
}

bool DocTab::hasFile() const {
    const TabKind tabKind = kind();
    return tabKind == TabKind::Document || (tabKind == TabKind::NewDocument && QFileInfo(path).isAbsolute());
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
