#include "toolbaractivity.h"

#include "controls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace velmora {

ToolbarActivity::ToolbarActivity(const QString& name, const QString& caption, QWidget* parent)
    : QWidget(parent), m_caption(caption) {
    setObjectName(name);
    Describe(this, caption);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 4, 0);
    layout->setSpacing(6);
    const QString suffix = name.left(1).toUpper() + name.mid(1);
    m_label = Named(new QLabel(caption, this), QStringLiteral("lb") + suffix);
    Describe(m_label, caption);
    m_bar = Named(new QProgressBar(this), QStringLiteral("pb") + suffix);
    m_bar->setTextVisible(false);
    m_bar->setFixedSize(80, 12);
    Describe(m_bar, caption);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    // Room the toolbar gives beyond that stays on the right, so that the bar keeps beside its caption.
    layout->addStretch();
    setActive(false);
}

void ToolbarActivity::setActive(bool active) {
    if (active) {
        // A bar without a range runs on its own: the window shows it is alive while the work goes on.
        m_bar->setRange(0, 0);
        m_label->setText(m_caption);
        Describe(m_label, m_caption);
    }
    m_label->setVisible(active);
    m_bar->setVisible(active);
}

void ToolbarActivity::setProgress(int done, int total, const QString& caption) {
    m_bar->setRange(0, total);
    m_bar->setValue(done);
    m_label->setText(caption);
    Describe(m_label, caption);
}

} // namespace velmora
