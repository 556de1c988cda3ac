#include "messages.h"

#include "common/datetime.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cstring>
#include <utility>

namespace velmora::dbtool {

QString formatDays(double days) {
    const QDateTime time = DaysToDateTime(days);
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString::number(days);
}

bool hasUndecodableByte(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate())) {
            return true;
        }
    }
    return false;
}

QString shown(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool lone = c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate());
        if (lone && c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) {
            result += QStringLiteral("\\x%1").arg(c.unicode() - 0xDC00, 2, 16, QLatin1Char('0'));
        } else if (c == u'\n') {
            result += QStringLiteral("\\n");
        } else if (c == u'\t') {
            result += QStringLiteral("\\t");
        } else if (c == u'\r') {
            result += QStringLiteral("\\r");
        } else if (c.category() == QChar::Other_Control || lone) {
            result += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            result += c;
        }
    }
    return result;
}

QString inEnglish(QString message) {
    static const std::pair<QRegularExpression, QString> wordings[] = {
        {QRegularExpression(QStringLiteral("^无法读取文件 (.*): ([^:]*)$")), QStringLiteral("cannot read \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法写入文件 (.*): ([^:]*)$")), QStringLiteral("cannot write \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法创建文件 (.*): ([^:]*)$")), QStringLiteral("cannot create \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法保存文件 (.*): ([^:]*)$")), QStringLiteral("cannot save \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法删除文件 (.*): ([^:]*)$")), QStringLiteral("cannot remove \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法创建文件夹 (.*)$")), QStringLiteral("cannot create the folder \\1")},
        {QRegularExpression(QStringLiteral("^无法设置文件夹 (.*) 的权限: (.*)$")),
         QStringLiteral("cannot set the permissions of the folder \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法读取内置文件 (.*)$")),
         QStringLiteral("cannot read the built-in file \\1")},
        {QRegularExpression(QStringLiteral("^字符串位置 (-?\\d+) 超出字符串文件 \\((\\d+) 字节\\)$")),
         QStringLiteral("string item offset \\1 lies outside the string file (\\2 bytes)")},
        {QRegularExpression(QStringLiteral("^字符串位置 (-?\\d+) 的长度 (-?\\d+) 超出字符串文件$")),
         QStringLiteral("the string item at offset \\1 gives a length of \\2, which does not fit in the string file")},
        {QRegularExpression(QStringLiteral("^字符串文件超过 2 GB，无法再写入$")),
         QStringLiteral("the string file has reached 2 GB; nothing more can be written to it")},
        {QRegularExpression(QStringLiteral("^记录位置 (-?\\d+) 不是记录文件中的记录 \\(共 (\\d+) 条记录\\)$")),
         QStringLiteral("position \\1 is not a record of the record file (\\2 records)")},
        {QRegularExpression(QStringLiteral("^记录 (-?\\d+) 指向字符串文件之外，资料库已损坏，不能整理: (.*)$")),
         QStringLiteral(
             "record \\1 points outside the string file \\2; the library is damaged and cannot be rewritten")},
        {QRegularExpression(QStringLiteral("^资料库以只读方式打开，不能保存: (.*)$")),
         QStringLiteral("the library was opened read-only and cannot be saved: \\1")},
        {QRegularExpression(QStringLiteral("^树文件 (.*) 已损坏: 文件只有 (\\d+) 字节，不足 12 字节的文件头$")),
         QStringLiteral("the tree file \\1 is damaged: it has only \\2 bytes, less than its 12-byte head")},
        {QRegularExpression(QStringLiteral("^树文件 (.*) 已损坏: 文本长度 (-?\\d+) 超出文件大小 (\\d+)$")),
         QStringLiteral("the tree file \\1 is damaged: its text length \\2 exceeds the file size \\3")},
        {QRegularExpression(
             QStringLiteral("^树文件 (.*) 已损坏: 节点块 \\(位置 (-?\\d+), 长度 (-?\\d+)\\) 超出文件大小 (\\d+)$")),
         QStringLiteral(
             "the tree file \\1 is damaged: its node block (offset \\2, length \\3) exceeds the file size \\4")},
        {QRegularExpression(QStringLiteral("^(.*) 第 (\\d+) 行的层级 (\\d+) 比上一行深了不止一级: (.*)$")),
         QStringLiteral("\\1 line \\2: level \\3 is more than one deeper than the line before: \\4")},
        {QRegularExpression(QStringLiteral("^解压缩失败: (.*) 不是有效的压缩文本 \\(zlib (-?\\d+)\\)$")),
         QStringLiteral("\\1 is not valid compressed text (zlib \\2)")},
    };
    for (const auto& [pattern, english] : wordings) {
        if (pattern.match(message).hasMatch()) {
            return message.replace(pattern, english);
        }
    }
    return message;
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace velmora::dbtool
