#include "search.h"

#include "controls.h"
#include "imagelist.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int kSearchPicture = 8;
constexpr int kOptionsHeight = 74;

} // namespace

Search::Search(Workbench& bench, QWidget* toolbar, QWidget* column) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("search"));
    schEdit = Named(new QLineEdit(toolbar), QStringLiteral("schEdit"));
    schEdit->setFixedWidth(251);
    schEdit->setPlaceholderText(QStringLiteral("搜索"));
    Describe(schEdit, QStringLiteral("搜索"));
    QAction* searchButton = schEdit->addAction(AppImage(kSearchPicture), QLineEdit::TrailingPosition);
    searchButton->setObjectName(QStringLiteral("schEditRightButton"));
    searchButton->setText(QStringLiteral("搜索"));
    MarkNotBuilt(searchButton);
    MarkNotBuilt(schEdit);

    // The options scroll sideways in a narrow column rather than holding the column wide.
    pnlSchOption = Named(new QScrollArea(column), QStringLiteral("pnlSchOption"));
    pnlSchOption->setFrameShape(QFrame::NoFrame);
    pnlSchOption->setWidgetResizable(true);
    pnlSchOption->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pnlSchOption->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pnlSchOption->setFixedHeight(kOptionsHeight + pnlSchOption->horizontalScrollBar()->sizeHint().height());
    Describe(pnlSchOption, QStringLiteral("搜索选项"));
    auto* content = new QWidget;
    auto* options = new QVBoxLayout(content);
    options->setContentsMargins(4, 2, 4, 2);
    options->setSpacing(2);
    auto* gpScope = Named(new QGroupBox(content), QStringLiteral("gpScope"));
    Describe(gpScope, QStringLiteral("搜索范围"));
    auto* scope = new QHBoxLayout(gpScope);
    scope->setContentsMargins(4, 2, 4, 2);
    auto* scopeGroup = new QButtonGroup(gpScope);
    for (const auto& [name, caption] : {std::pair{"rAllDoc", "全部文档"}, std::pair{"rCurrList", "文章列表"}}) {
        auto* button = Named(new QRadioButton(QString::fromUtf8(caption), gpScope), QString::fromLatin1(name));
        Describe(button, button->text());
        scopeGroup->addButton(button);
        scope->addWidget(button);
    }
    gpScope->findChild<QRadioButton*>(QStringLiteral("rAllDoc"))->setChecked(true);
    for (const auto& [name, caption, on] :
         {std::tuple{"ckAllText", "全部文字", false}, std::tuple{"ckFileName", "文档名称", true},
          std::tuple{"ckTag", "文档标签", true}}) {
        auto* box = Named(new QCheckBox(QString::fromUtf8(caption), gpScope), QString::fromLatin1(name));
        Describe(box, box->text());
        box->setChecked(on);
        scope->addWidget(box);
    }
    options->addWidget(gpScope);
    auto* modes = new QHBoxLayout;
    auto* modeGroup = new QButtonGroup(content);
    for (const auto& [name, caption] : {std::pair{"rAorB", "A或B"}, std::pair{"rAandB", "A与B"},
                                        std::pair{"rAnotB", "A非B"}, std::pair{"rWhole", "完全匹配"}}) {
        auto* button = Named(new QRadioButton(QString::fromUtf8(caption), content), QString::fromLatin1(name));
        Describe(button, button->text());
        modeGroup->addButton(button);
        modes->addWidget(button);
    }
    content->findChild<QRadioButton*>(QStringLiteral("rWhole"))->setChecked(true);
    auto* info = Named(new QToolButton(content), QStringLiteral("btSearchInfo"));
    info->setIcon(ToolbarImage(QStringLiteral("tbtInfo")));
    info->setAutoRaise(true);
    Describe(info, QStringLiteral("搜索说明"));
    modes->addWidget(info);
    options->addLayout(modes);
    pnlSchOption->setWidget(content);
    MarkNotBuilt(pnlSchOption);
    MarkNotBuilt(info);
}

QWidget* Search::box() const {
    return schEdit;
}

QWidget* Search::options() const {
    return pnlSchOption;
}

void Search::clearBox() {
    schEdit->clear();
}

void Search::followColumnWidth(int width) {
    schEdit->setFixedWidth(width + 1);
}

} // namespace velmora
