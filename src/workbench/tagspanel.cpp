#include "tagspanel.h"

#include "controls.h"
#include "imagelist.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace velmora {

TagsPanel::TagsPanel(Workbench& bench, QWidget* toolbar, QWidget* area) : QObject(area), m_bench(bench) {
    setObjectName(QStringLiteral("tagsPanel"));
    tbtTag =
        MakeToolButton(toolbar, QStringLiteral("tbtTag"), QString(), QStringLiteral("设置更改文档标签、密码及评分"));
    MarkNotBuilt(tbtTag);

    tagPanel = Named(new QWidget(area), QStringLiteral("tagPanel"));
    tagPanel->setFixedHeight(26);
    Describe(tagPanel, QStringLiteral("文档标签"));
    auto* strip = new QHBoxLayout(tagPanel);
    strip->setContentsMargins(4, 1, 4, 1);
    strip->setSpacing(3);
    auto label = [this](const QString& name, const QString& caption) {
        auto* shown = Named(new QLabel(caption, tagPanel), name);
        Describe(shown, caption);
        return shown;
    };
    auto button = [this](const QString& name, const QIcon& icon, const QString& hint) {
        auto* shown = Named(new QToolButton(tagPanel), name);
        shown->setIcon(icon);
        shown->setAutoRaise(true);
        shown->setToolTip(hint);
        Describe(shown, hint);
        return shown;
    };
    strip->addWidget(label(QStringLiteral("lbScore"), QStringLiteral("评分：")));
    for (int i = 1; i <= 5; ++i) {
        QToolButton* star = button(QStringLiteral("btGroup%1").arg(i), AppImage(14), QStringLiteral("%1星").arg(i));
        star->setFixedSize(28, 22);
        strip->addWidget(star);
    }
    strip->addWidget(label(QStringLiteral("lblPSW"), QStringLiteral("密码：")));
    auto* psEdit = Named(new QLineEdit(tagPanel), QStringLiteral("psEdit"));
    psEdit->setEchoMode(QLineEdit::Password);
    psEdit->setFixedWidth(90);
    Describe(psEdit, QStringLiteral("密码"));
    strip->addWidget(psEdit);
    strip->addWidget(button(QStringLiteral("btPSView"), AppImage(13), QStringLiteral("显示密码")));
    strip->addWidget(label(QStringLiteral("RzLabel4"), QStringLiteral("标签：")));
    strip->addWidget(button(QStringLiteral("btSaveTagScorePS"), ToolbarImage(QStringLiteral("tbtSave")),
                            QStringLiteral("保存标签")));
    strip->addWidget(button(QStringLiteral("btAddTag"), AppImage(3), QStringLiteral("快速添加标签")));
    auto* tagEdit = Named(new QLineEdit(tagPanel), QStringLiteral("tagEdit"));
    Describe(tagEdit, QStringLiteral("标签"));
    strip->addWidget(tagEdit, 1);
    MarkNotBuilt(tagPanel);
    tagPanel->hide();
}

QWidget* TagsPanel::panel() const {
    return tagPanel;
}

QWidget* TagsPanel::toolButton() const {
    return tbtTag;
}

} // namespace velmora
