#include "libgen.h"

#include "sqlitemirror.h"

#include "common/datetime.h"
#include "common/errors.h"
#include "store/pathfold.h"
#include "store/wordmgr.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace velmora::bench {

namespace {

// SplitMix64: its output is fixed by its definition, unlike the standard distributions, whose results differ
// between standard libraries; a seed must give the same library everywhere.
class Rng final {
public:
    explicit Rng(quint64 seed) : m_state(seed) {}

    quint64 next() {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // The modulo bias is below 1e-15 for the small ranges used here.
    int below(qsizetype n) { return int(next() % quint64(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    double unit() { return double(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    template <typename List>
    const auto& pick(const List& list) {
        return list.at(below(list.size()));
    }

private:
    quint64 m_state;
};

const QStringList kRoots{
    QStringLiteral("/home/user/文档"),      QStringLiteral("/home/user/文档"),      QStringLiteral("/home/user/文档"),
    QStringLiteral("/home/user/文档"),      QStringLiteral("/home/user/文档"),      QStringLiteral("/home/user/文档"),
    QStringLiteral("/home/user/Documents"), QStringLiteral("/home/user/Documents"), QStringLiteral("/home/user/桌面"),
    QStringLiteral("/mnt/data/资料"),       QStringLiteral("/home/user/下载")};

const QStringList kFolders{QStringLiteral("工作"),
                           QStringLiteral("项目资料"),
                           QStringLiteral("会议记录"),
                           QStringLiteral("财务报表"),
                           QStringLiteral("合同"),
                           QStringLiteral("人事档案"),
                           QStringLiteral("教学课件"),
                           QStringLiteral("论文草稿"),
                           QStringLiteral("研究报告"),
                           QStringLiteral("个人"),
                           QStringLiteral("学习笔记"),
                           QStringLiteral("旅行计划"),
                           QStringLiteral("家庭"),
                           QStringLiteral("产品设计"),
                           QStringLiteral("市场分析"),
                           QStringLiteral("年度总结"),
                           QStringLiteral("技术文档"),
                           QStringLiteral("培训材料"),
                           QStringLiteral("招标文件"),
                           QStringLiteral("客户资料"),
                           QStringLiteral("规章制度"),
                           QStringLiteral("宣传稿件"),
                           QStringLiteral("备份"),
                           QStringLiteral("归档"),
                           QStringLiteral("草稿"),
                           QStringLiteral("新建文件夹"),
                           QStringLiteral("第一季度"),
                           QStringLiteral("第二季度"),
                           QStringLiteral("第三季度"),
                           QStringLiteral("第四季度"),
                           QStringLiteral("行政"),
                           QStringLiteral("采购"),
                           QStringLiteral("投标"),
                           QStringLiteral("质量管理"),
                           QStringLiteral("安全生产"),
                           QStringLiteral("党建工作"),
                           QStringLiteral("工会"),
                           QStringLiteral("科研项目"),
                           QStringLiteral("专利申请"),
                           QStringLiteral("软件著作权"),
                           QStringLiteral("Projects"),
                           QStringLiteral("Reports"),
                           QStringLiteral("Archive"),
                           QStringLiteral("Meetings"),
                           QStringLiteral("Drafts"),
                           QStringLiteral("Clients"),
                           QStringLiteral("Contracts"),
                           QStringLiteral("Thesis"),
                           QStringLiteral("Notes"),
                           QStringLiteral("Templates"),
                           QStringLiteral("Budget"),
                           QStringLiteral("HR"),
                           QStringLiteral("Marketing"),
                           QStringLiteral("old"),
                           QStringLiteral("backup"),
                           QStringLiteral("Shared"),
                           QStringLiteral("Q1"),
                           QStringLiteral("Q2"),
                           QStringLiteral("Q3"),
                           QStringLiteral("Q4"),
                           QStringLiteral("2015"),
                           QStringLiteral("2016"),
                           QStringLiteral("2017"),
                           QStringLiteral("2018"),
                           QStringLiteral("2019"),
                           QStringLiteral("2020"),
                           QStringLiteral("2021"),
                           QStringLiteral("2022"),
                           QStringLiteral("2023"),
                           QStringLiteral("2024"),
                           QStringLiteral("2023年"),
                           QStringLiteral("2024年"),
                           QStringLiteral("Project Alpha"),
                           QStringLiteral("客户A"),
                           QStringLiteral("张三"),
                           QStringLiteral("李四的资料"),
                           QStringLiteral("Teaching"),
                           QStringLiteral("Research")};

// Two-character words: file names string them together, and Chinese tags are made of pairs of them.
const QStringList kCnWords{
    QStringLiteral("项目"), QStringLiteral("管理"), QStringLiteral("方案"), QStringLiteral("计划"),
    QStringLiteral("总结"), QStringLiteral("报告"), QStringLiteral("会议"), QStringLiteral("纪要"),
    QStringLiteral("合同"), QStringLiteral("协议"), QStringLiteral("预算"), QStringLiteral("审计"),
    QStringLiteral("财务"), QStringLiteral("分析"), QStringLiteral("市场"), QStringLiteral("调研"),
    QStringLiteral("产品"), QStringLiteral("需求"), QStringLiteral("设计"), QStringLiteral("测试"),
    QStringLiteral("开发"), QStringLiteral("运营"), QStringLiteral("销售"), QStringLiteral("客户"),
    QStringLiteral("培训"), QStringLiteral("教学"), QStringLiteral("课程"), QStringLiteral("考试"),
    QStringLiteral("论文"), QStringLiteral("研究"), QStringLiteral("实验"), QStringLiteral("数据"),
    QStringLiteral("申请"), QStringLiteral("审批"), QStringLiteral("通知"), QStringLiteral("公告"),
    QStringLiteral("制度"), QStringLiteral("规范"), QStringLiteral("标准"), QStringLiteral("流程"),
    QStringLiteral("人事"), QStringLiteral("招聘"), QStringLiteral("绩效"), QStringLiteral("考核"),
    QStringLiteral("工资"), QStringLiteral("福利"), QStringLiteral("安全"), QStringLiteral("质量"),
    QStringLiteral("技术"), QStringLiteral("文档"), QStringLiteral("手册"), QStringLiteral("指南"),
    QStringLiteral("年度"), QStringLiteral("季度"), QStringLiteral("月度"), QStringLiteral("周报"),
    QStringLiteral("简历"), QStringLiteral("证明"), QStringLiteral("发票"), QStringLiteral("报价"),
    QStringLiteral("招标"), QStringLiteral("投标"), QStringLiteral("采购"), QStringLiteral("物资"),
    QStringLiteral("宣传"), QStringLiteral("活动"), QStringLiteral("策划"), QStringLiteral("旅行"),
    QStringLiteral("家庭"), QStringLiteral("健康"), QStringLiteral("读书"), QStringLiteral("笔记"),
    QStringLiteral("历史"), QStringLiteral("文学"), QStringLiteral("法律"), QStringLiteral("政策")};

const QStringList kEnWords{
    QStringLiteral("project"),  QStringLiteral("report"),   QStringLiteral("budget"),   QStringLiteral("meeting"),
    QStringLiteral("minutes"),  QStringLiteral("proposal"), QStringLiteral("draft"),    QStringLiteral("final"),
    QStringLiteral("review"),   QStringLiteral("summary"),  QStringLiteral("plan"),     QStringLiteral("design"),
    QStringLiteral("outline"),  QStringLiteral("contract"), QStringLiteral("invoice"),  QStringLiteral("quote"),
    QStringLiteral("thesis"),   QStringLiteral("chapter"),  QStringLiteral("notes"),    QStringLiteral("lecture"),
    QStringLiteral("exam"),     QStringLiteral("syllabus"), QStringLiteral("research"), QStringLiteral("data"),
    QStringLiteral("analysis"), QStringLiteral("market"),   QStringLiteral("sales"),    QStringLiteral("client"),
    QStringLiteral("vendor"),   QStringLiteral("policy"),   QStringLiteral("manual"),   QStringLiteral("guide"),
    QStringLiteral("release"),  QStringLiteral("roadmap"),  QStringLiteral("strategy"), QStringLiteral("audit"),
    QStringLiteral("tax"),      QStringLiteral("payroll"),  QStringLiteral("hiring"),   QStringLiteral("resume"),
    QStringLiteral("training"), QStringLiteral("safety"),   QStringLiteral("quality"),  QStringLiteral("legal"),
    QStringLiteral("patent"),   QStringLiteral("grant"),    QStringLiteral("paper"),    QStringLiteral("survey"),
    QStringLiteral("travel"),   QStringLiteral("family"),   QStringLiteral("health"),   QStringLiteral("reading"),
    QStringLiteral("history"),  QStringLiteral("archive"),  QStringLiteral("template"), QStringLiteral("memo"),
    QStringLiteral("letter"),   QStringLiteral("agenda"),   QStringLiteral("status"),   QStringLiteral("weekly"),
    QStringLiteral("monthly"),  QStringLiteral("annual"),   QStringLiteral("alpha"),    QStringLiteral("beta"),
    QStringLiteral("internal"), QStringLiteral("public"),   QStringLiteral("Linux"),    QStringLiteral("Qt"),
    QStringLiteral("AI"),       QStringLiteral("ERP"),      QStringLiteral("CRM"),      QStringLiteral("KPI")};

const QStringList kCnAffixes{QStringLiteral("关于"), QStringLiteral("（修订版）"), QStringLiteral("终稿"),
                             QStringLiteral("_v2"),  QStringLiteral("-副本"),      QStringLiteral("（草稿）")};

constexpr int kTagCount = 2000;
constexpr double kPasswordShare = 0.10;
constexpr double kDeletedShare = 0.05;
constexpr int kMinPathLength = 40;
constexpr int kMaxPathLength = 120;

QString yearText(Rng& rng) {
    return QString::number(rng.between(2010, 2024));
}

QString chineseFileStem(Rng& rng) {
    QString stem;
    const int roll = rng.below(10);
    if (roll < 2) {
        stem += kCnAffixes.at(0);
    } else if (roll < 4) {
        stem += yearText(rng) + QStringLiteral("年");
    }
    const int words = rng.between(2, 4);
    for (int i = 0; i < words; ++i) {
        stem += rng.pick(kCnWords);
    }
    if (rng.chance(0.3)) {
        stem += kCnAffixes.at(rng.between(1, int(kCnAffixes.size()) - 1));
    }
    return stem;
}

QString latinFileStem(Rng& rng) {
    static const QStringList joiners{QStringLiteral(" "), QStringLiteral("_"), QStringLiteral("-")};
    const QString joiner = rng.pick(joiners);
    QString stem;
    const int words = rng.between(2, 4);
    for (int i = 0; i < words; ++i) {
        QString word = rng.pick(kEnWords);
        if (i == 0 && rng.chance(0.5)) {
            word[0] = word.at(0).toUpper();
        }
        stem += (i > 0 ? joiner : QString()) + word;
    }
    const int roll = rng.below(6);
    if (roll == 0) {
        // Each draw is its own statement: the operands of one expression are evaluated in no fixed order.
        const QString year = yearText(rng);
        const int month = rng.between(1, 12);
        const int day = rng.between(1, 28);
        stem += joiner + year +
                QStringLiteral("-%1-%2").arg(month, 2, 10, QLatin1Char('0')).arg(day, 2, 10, QLatin1Char('0'));
    } else if (roll == 1) {
        stem += joiner + QStringLiteral("v%1").arg(rng.between(2, 9));
    }
    return stem;
}

QString mixedFileStem(Rng& rng) {
    QString stem = rng.pick(kCnWords);
    stem += rng.pick(kCnWords);
    stem += QLatin1Char('_');
    stem += rng.pick(kEnWords);
    if (rng.chance(0.5)) {
        stem += QString::number(rng.between(1, 99));
    }
    return stem;
}

QString fileStem(Rng& rng) {
    const int roll = rng.below(10);
    if (roll < 6) {
        return chineseFileStem(rng);
    }
    if (roll < 9) {
        return latinFileStem(rng);
    }
    return mixedFileStem(rng);
}

QString newPath(Rng& rng, QSet<QString>& taken) {
    for (;;) {
        QString folder = rng.pick(kRoots);
        const int depth = rng.between(1, 3);
        for (int i = 0; i < depth; ++i) {
            folder += QLatin1Char('/') + rng.pick(kFolders);
        }
        const QString stem = fileStem(rng);
        const QString ext = rng.chance(0.65) ? QStringLiteral(".docx") : QStringLiteral(".doc");
        // Deep trees are common in real libraries; a drawn length spreads paths over the whole range.
        const int length = rng.between(kMinPathLength, kMaxPathLength - 20);
        while (folder.size() + 1 + stem.size() + ext.size() < length) {
            folder += QLatin1Char('/') + rng.pick(kFolders);
        }
        QString path = folder + QLatin1Char('/') + stem + ext;
        // A namesake in the same folder gets the number a file manager would give a copy.
        for (int copy = 2; taken.contains(FoldAsciiCase(path)); ++copy) {
            path = folder + QLatin1Char('/') + stem + QStringLiteral(" (%1)").arg(copy) + ext;
        }
        if (path.size() <= kMaxPathLength) {
            taken.insert(FoldAsciiCase(path));
            return path;
        }
    }
}

QStringList makeTags(Rng& rng) {
    QStringList tags = TagFamily();
    QSet<QString> taken;
    for (const QString& tag : tags) {
        taken.insert(FoldAsciiCase(tag));
    }
    auto offer = [&](const QString& tag) {
        if (!taken.contains(FoldAsciiCase(tag))) {
            taken.insert(FoldAsciiCase(tag));
            tags.append(tag);
        }
    };
    for (const QString& word : kCnWords) {
        offer(word);
    }
    for (const QString& word : kEnWords) {
        offer(word);
    }
    // Roughly half Chinese, half Latin, as a bilingual user's tag list would be.
    while (tags.size() < kTagCount) {
        const int roll = rng.below(4);
        QString tag = roll < 2 ? rng.pick(kCnWords) : rng.pick(kEnWords);
        if (roll < 2) {
            tag += rng.pick(kCnWords);
        } else if (roll == 2) {
            tag += QLatin1Char('-');
            tag += rng.pick(kEnWords);
        } else {
            tag += yearText(rng);
        }
        offer(tag);
    }
    return tags;
}

QString tagsFor(Rng& rng, const QStringList& tags) {
    const int count = rng.between(0, 5);
    QList<int> chosen;
    while (chosen.size() < count) {
        const int k = rng.below(tags.size());
        if (!chosen.contains(k)) {
            chosen.append(k);
        }
    }
    QStringList picked;
    for (const int k : chosen) {
        picked.append(tags.at(k));
    }
    return picked.join(QLatin1Char(' '));
}

QString passwordFor(Rng& rng) {
    static const QString alphabet = QStringLiteral("abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789");
    QString password;
    const int length = rng.between(6, 12);
    for (int i = 0; i < length; ++i) {
        password += alphabet.at(rng.below(alphabet.size()));
    }
    return password;
}

quint8 scoreFor(Rng& rng) {
    // Most documents are never rated; of the rated ones, three stars is the favourite.
    static const int weights[] = {50, 8, 10, 14, 10, 8};
    int roll = rng.below(100);
    for (quint8 score = 0; score < 6; ++score) {
        if (roll < weights[score]) {
            return score;
        }
        roll -= weights[score];
    }
    return 0;
}

void removeIfPresent(const QString& path) {
    if (QFile::exists(path) && !QFile::remove(path)) {
        throw VelmoraError(QStringLiteral("cannot replace %1").arg(path), path);
    }
}

} // namespace

QStringList TagFamily() {
    return {QStringLiteral("科研"),           QStringLiteral("论文写作"), QStringLiteral("实验数据"),
            QStringLiteral("Grant-Proposal"), QStringLiteral("会议纪要"), QStringLiteral("peer-review")};
}

QString TagFamilyQuery() {
    return TagFamily().join(QLatin1Char(' '));
}

GeneratedLibrary GenerateLibrary(const QString& folder, const LibraryOptions& options) {
    if (!QDir().mkpath(folder)) {
        throw VelmoraError(QStringLiteral("cannot create %1").arg(folder), folder);
    }
    GeneratedLibrary lib;
    lib.folder = QDir(folder).absolutePath();
    lib.dataFile = lib.folder + QStringLiteral("/worddata.data");
    lib.sqliteFile = lib.folder + QStringLiteral("/library.sqlite");
    removeIfPresent(lib.dataFile);
    removeIfPresent(lib.folder + QStringLiteral("/worddata.idx"));
    removeIfPresent(lib.sqliteFile);

    const double today = options.today != 0.0 ? options.today : std::trunc(NowAsDays());
    Rng rng(options.seed);
    const QStringList tags = makeTags(rng);
    QSet<QString> taken;
    {
        TWordMgr store(lib.dataFile);
        for (int k = 0; k < options.count; ++k) {
            const QString path = options.root + newPath(rng, taken);
            const QString docTags = tagsFor(rng, tags);
            const QString password = rng.chance(kPasswordShare) ? passwordFor(rng) : QString();
            const qint64 pos = store.ImportAWord(path, QString(), password, scoreFor(rng));
            if (!docTags.isEmpty()) {
                store.SaveTags(pos, docTags, true);
            }
            // The files do not exist, so the import found no creation time; give the record a plausible one.
            const double created = today - rng.unit() * 5 * 365;
            store.SetDateTime(pos, wdiCreateTime, created, true);
            const double roll = rng.unit();
            if (roll >= 0.3) {
                const double back = roll < 0.45 ? rng.unit() * 7 : rng.unit() * 2 * 365;
                store.SetDateTime(pos, wdiAccessTime, std::max(created, today + 0.5 - back), true);
                for (int reads = rng.between(1, 12); reads > 0; --reads) {
                    store.IncADigitItem(pos, wdiReadTimes, true);
                }
                for (int edits = rng.between(0, 4); edits > 0; --edits) {
                    store.IncADigitItem(pos, wdiEditTimes, true);
                }
            }
            if (rng.chance(kDeletedShare)) {
                store.SetRecDeleted(pos, true);
            }
        }
        store.SaveRecDataFiles(false);

        lib.records = store.GetRecNumber();
        for (int k = 0; k < lib.records; ++k) {
            const TWordRec rec = store.RecordAt(qint64(k) * TWordRec::Size);
            if (rec.wdDeleted) {
                ++lib.deleted;
                continue;
            }
            ++lib.live;
            lib.withPassword += rec.wdPasswordPos >= 0 ? 1 : 0;
            lib.untagged += rec.wdTagsPos < 0 ? 1 : 0;
            if (k >= lib.records * 99 / 100 && lib.lateLivePath.isEmpty()) {
                lib.lateLivePath = store.StringAt(rec.wdFullNamePos);
            }
        }
        if (lib.lateLivePath.isEmpty() && lib.live > 0) {
            for (int k = lib.records - 1; k >= 0 && lib.lateLivePath.isEmpty(); --k) {
                const TWordRec rec = store.RecordAt(qint64(k) * TWordRec::Size);
                if (!rec.wdDeleted) {
                    lib.lateLivePath = store.StringAt(rec.wdFullNamePos);
                }
            }
        }
        // Same folder and length as a real document, so that a lookup cannot tell it apart early.
        lib.absentPath = lib.lateLivePath;
        lib.absentPath.insert(lib.absentPath.lastIndexOf(QLatin1Char('.')), QStringLiteral("（不存在）"));
        WriteSqliteMirror(store, lib.sqliteFile);
    }
    return lib;
}

QString SampleChineseText(qsizetype chars, quint64 seed) {
    static const QStringList punctuation{
        QStringLiteral("，"), QStringLiteral("，"), QStringLiteral("、"), QStringLiteral("。"), QStringLiteral("；"),
        QStringLiteral("："), QStringLiteral("（"), QStringLiteral("）"), QStringLiteral("“"),  QStringLiteral("”")};
    Rng rng(seed);
    QString text;
    text.reserve(chars + 256);
    qsizetype lineStart = 0;
    while (text.size() < chars) {
        text += rng.pick(kCnWords);
        if (rng.chance(0.05)) {
            text += rng.pick(kEnWords);
            text += QLatin1Char(' ');
            text += QString::number(rng.between(1, 2024));
        }
        if (rng.chance(0.25)) {
            text += rng.pick(punctuation);
        }
        if (text.size() - lineStart > rng.between(40, 200)) {
            text += QStringLiteral("。\r\n");
            lineStart = text.size();
        }
    }
    return text;
}

} // namespace velmora::bench
