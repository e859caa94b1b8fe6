#include "pathselector.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

PathSelector::PathSelector(QWidget *parent) : QWidget(parent), m_group(new QButtonGroup(this))
{
    const struct
    {
        const char *text;
        const char *icon;
    } paths[] = {
        {QT_TR_NOOP("City block"), ":/images/Inspector/EdgePathCityBlock.png"},
        {QT_TR_NOOP("City block flipped"), ":/images/Inspector/EdgePathCityBlockFlipped.png"},
        {QT_TR_NOOP("Direct"), ":/images/Inspector/EdgePathDirect.png"},
    };
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    int index = 0;
    for (const auto &path : paths) {
        auto *button = new QToolButton(this);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setIcon(QIcon(QString::fromLatin1(path.icon)));
        button->setIconSize(QSize(24, 24));
        button->setToolTip(tr(path.text));
        m_group->addButton(button, index++);
        layout->addWidget(button);
    }
    layout->addStretch();
    connect(m_group, &QButtonGroup::idClicked, this, &PathSelector::currentChanged);
}

int PathSelector::currentIndex() const
{
    return m_group->checkedId();
}

void PathSelector::setCurrentIndex(int index)
{
    // An exclusive group keeps one button checked; none is checked only
    // while it is not exclusive.
    m_group->setExclusive(false);
    for (QAbstractButton *button : m_group->buttons())
        button->setChecked(m_group->id(button) == index);
    m_group->setExclusive(true);
}

QAbstractButton *PathSelector::button(int index) const
{
    return m_group->button(index);
}
