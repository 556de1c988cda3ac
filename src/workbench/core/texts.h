#pragma once

#include <QString>

namespace velmora {

// Interface texts that more than one area shows; each is written once so the areas cannot drift apart.
inline const QString kProgramName = QStringLiteral("Velmora");
inline const QString kTitleSortKey = QStringLiteral("文章标题");
inline const QString kTagTreeRoot = QStringLiteral("标签分类");
inline const QString kNotBuilt = QStringLiteral("尚未实现");
inline const QString kFolderNotMade = QStringLiteral("创建文件夹失败");

} // namespace velmora
