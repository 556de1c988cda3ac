#include "macros.h"

#include "common/textcodec.h"
#include "office/tiword.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QToolButton>

#include <algorithm>

namespace velmora {

namespace {

constexpr float kPresetFontSize = 10.5f;
constexpr float kPreset = -1.0f;

// The office builds a script address from the name it is given; a line that is more than a dotted name could
// reach another script or change how the address is read, so only Module.Macro or Library.Module.Macro goes.
bool IsMacroName(const QString& line) {
    const QStringList parts = line.split(u'.');
    if (parts.size() < 2 || parts.size() > 3) {
        return false;
    }
    return std::all_of(parts.begin(), parts.end(), [](const QString& part) {
        return !part.isEmpty() && std::all_of(part.begin(), part.end(), [](QChar c) {
            return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'_');
        });
    });
}

} // namespace

Macros::Macros(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("macros"));
    pmMacro = Named(new QMenu(toolbar), QStringLiteral("pmMacro"));
    Describe(pmMacro, QStringLiteral("宏"));
    ItemMyPara = NamedAction(pmMacro, QStringLiteral("ItemMyPara"), QStringLiteral("自定义段落格式"));
    tbtMacro = MakeToolButton(toolbar, QStringLiteral("tbtMacro"), QString(), QStringLiteral("宏"));
    // The design gives the button no hint; the accessible name still says what it is.
    tbtMacro->setToolTip(QString());
    tbtMacro->setStatusTip(QString());
    DropDownMenu(tbtMacro, pmMacro);
    ConnectReported(ItemMyPara, &QAction::triggered, this,
                    [this] { ItemMyParaClick(QGuiApplication::keyboardModifiers()); });
}

QWidget* Macros::toolButton() const {
    return tbtMacro;
}

QMenu* Macros::menu() const {
    return pmMacro;
}

void Macros::LoadMacroMenu() {
    if (pmMacro->actions().size() != 1) {
        return;
    }
    const QStringList names = ReadTextFile(m_bench.dataFile(QStringLiteral("macro.txt")));
    for (const QString& name : names) {
        // A menu takes "&" as the mark of an accelerator; doubled, the caption shows the name as written.
        QAction* item = pmMacro->addAction(QString(name).replace(u'&', QStringLiteral("&&")));
        item->setObjectName(QStringLiteral("ItemMacro"));
        // The name travels with the item: the caption is the toolkit's to change.
        item->setData(name);
        ConnectReported(item, &QAction::triggered, this, [this, item] { MacroItemClick(item); });
    }
}

void Macros::MacroItemClick(QAction* item) {
    const QString name = item->data().toString();
    if (!IsMacroName(name)) {
        ReportError(QStringLiteral("“%1”不是宏名称，未运行。宏名称应写作“模块.宏”或“库.模块.宏”，"
                                   "只能含字母、数字和下划线。")
                        .arg(name));
        return;
    }
    if (!m_bench.activeTab().open || !m_bench.hasWord()) {
        return;
    }
    try {
        m_bench.word().RunMacro(name);
    } catch (...) {
        // An unknown or failing macro is the user's to see in the office; the window has nothing to add.
    }
}

void Macros::ItemMyParaClick(Qt::KeyboardModifiers modifiers) {
    if (!m_bench.activeTab().open || !m_bench.hasWord()) {
        return;
    }
    if (m_windowReleased && m_windowReleased()) {
        return;
    }
    m_bench.word().SetDocPara(QString(), modifiers.testFlag(Qt::ControlModifier), kPresetFontSize, kPreset, kPreset,
                              kPreset, kPreset, kPreset);
}

} // namespace velmora
