#include "arguments.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace velmora::dbtool {

const QStringList& scoreWords() {
    static const QStringList words{QStringLiteral("无星文档"), QStringLiteral("一星"), QStringLiteral("二星"),
                                   QStringLiteral("三星"),     QStringLiteral("四星"), QStringLiteral("五星")};
    return words;
}

const QStringList& dateWindows() {
    static const QStringList windows{QStringLiteral("今天"), QStringLiteral("三日内"), QStringLiteral("一周内"),
                                     QStringLiteral("一月内")};
    return windows;
}

QString absolutePath(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

std::optional<QString> takeOption(QStringList& args, const QString& name) {
    const qsizetype at = args.indexOf(name);
    if (at < 0) {
        return std::nullopt;
    }
    if (at + 1 >= args.size()) {
        throw UsageError(name + QStringLiteral(" needs a value"));
    }
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

bool takeFlag(QStringList& args, const QString& name) {
    return args.removeAll(name) > 0;
}

void rejectOptions(const QStringList& args) {
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1String("--"))) {
            throw UsageError(QStringLiteral("unknown option: ") + arg);
        }
    }
}

std::optional<quint8> takeScore(QStringList& args) {
    const std::optional<QString> text = takeOption(args, QStringLiteral("--score"));
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const int score = text->toInt(&ok);
    if (!ok || score < 0 || score > 5) {
        throw UsageError(QStringLiteral("--score takes 0 to 5"));
    }
    return quint8(score);
}

std::optional<QString> takeTags(QStringList& args, const QString& name) {
    std::optional<QString> text = takeOption(args, name);
    if (text && hasControlCharacter(*text)) {
        throw UsageError(name + QStringLiteral(" must not hold control characters (tags are separated by spaces)"));
    }
    return text;
}

void expectCount(const QStringList& args, qsizetype count, const char* what) {
    if (args.size() != count) {
        throw UsageError(QString::fromUtf8(what));
    }
}

} // namespace velmora::dbtool
