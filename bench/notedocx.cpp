#include "notedocx.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QString>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

namespace velmora::bench {

namespace {

const char* const kLatinWords[] = {"note",   "library", "document",  "search", "index", "tag",   "text",    "cache",
                                   "reader", "word",    "paragraph", "table",  "field", "score", "archive", "folder"};
const char16_t kHan[] = u"文档库笔记索引标签搜索正文段落表格字段分数归档文件夹中国语言学习工作计划会议记录总结";

QString paragraphText(QRandomGenerator& random, bool chinese) {
    QString text;
    if (chinese) {
        // About 45 characters: two lines of a page in a 10.5 pt CJK font.
        const int count = sizeof(kHan) / sizeof(kHan[0]) - 1;
        for (int i = 0; i < 44; ++i) {
            text.append(QChar(kHan[random.bounded(count)]));
        }
        text.append(u'。');
    } else {
        for (int i = 0; i < 16; ++i) {
            text.append(QLatin1String(kLatinWords[random.bounded(int(std::size(kLatinWords)))]));
            text.append(u' ');
        }
        text.append(u'.');
    }
    return text;
}

void addEntry(QuaZip& zip, const QString& name, const QByteArray& data) {
    QuaZipFile file(&zip);
    file.open(QIODevice::WriteOnly, QuaZipNewInfo(name));
    file.write(data);
    file.close();
}

} // namespace

QByteArray MakeNoteDocx(int pages, bool chinese, int seed) {
    QRandomGenerator random(quint32(seed) + 1);
    QString body;
    for (int p = 0; p < pages * 20; ++p) {
        const QString text = paragraphText(random, chinese);
        const qsizetype third = text.size() / 3;
        body += QStringLiteral("<w:p><w:pPr><w:spacing w:after=\"50\" w:line=\"320\" w:lineRule=\"exact\"/>"
                               "<w:ind w:firstLineChars=\"200\" w:firstLine=\"420\"/></w:pPr>");
        for (const QString& part : {text.left(third), text.mid(third, third), text.mid(2 * third)}) {
            body +=
                QStringLiteral("<w:r><w:rPr><w:rFonts w:ascii=\"Calibri\" w:eastAsia=\"微软雅黑\"/><w:sz w:val=\"21\"/>"
                               "</w:rPr><w:t xml:space=\"preserve\">") +
                part.toHtmlEscaped() + QStringLiteral("</w:t></w:r>");
        }
        body += QStringLiteral("</w:p>");
    }
    const QString document =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><w:body>") +
        body + QStringLiteral("<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:body></w:document>");

    QBuffer buffer;
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    addEntry(zip, QStringLiteral("[Content_Types].xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
             "ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
             "</Types>");
    addEntry(zip, QStringLiteral("_rels/.rels"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
             "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
             "Target=\"word/document.xml\"/></Relationships>");
    addEntry(zip, QStringLiteral("word/document.xml"), document.toUtf8());
    zip.close();
    return buffer.data();
}

} // namespace velmora::bench
