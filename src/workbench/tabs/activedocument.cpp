#include "activedocument.h"

#include "common/errors.h"
#include "office/tiword.h"

namespace velmora {

void ActivateTabDocument(TiWord& word, const QString& path) {
    if (!word.ActivateDoc(path)) {
        throw VelmoraError(QStringLiteral("文档没有在 Word 中打开: %1").arg(path), path);
    }
    // Full names compare as the office compares them when it looks a document up.
    const QString active = word.ActiveDocFullName();
    if (active.compare(path, Qt::CaseInsensitive) != 0) {
        throw VelmoraError(QStringLiteral("Word 的当前文档 %1 不是标签页的文档 %2").arg(active, path), path);
    }
}

} // namespace velmora
