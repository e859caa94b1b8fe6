#include "channelsbox.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPushButton>
#include <QToolButton>

ChannelsBox::ChannelsBox(QWidget *parent) : QWidget(parent), m_group(new QButtonGroup(this))
{
    m_group->setExclusive(false);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    for (int channel = 0; channel < ChannelCount; ++channel) {
        auto *button = new QToolButton(this);
        button->setText(QString::number(channel + 1));
        button->setCheckable(true);
        button->setToolTip(tr("MIDI channel %1").arg(channel + 1));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setMinimumWidth(28);
        m_group->addButton(button, channel);
        grid->addWidget(button, channel / 4, channel % 4);
    }
    auto *all = new QPushButton(tr("All"), this);
    auto *none = new QPushButton(tr("None"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(all);
    buttons->addWidget(none);
    grid->addLayout(buttons, 4, 0, 1, 4);
    connect(m_group, &QButtonGroup::buttonClicked, this, &ChannelsBox::onButtonClicked);
    connect(all, &QPushButton::clicked, this, &ChannelsBox::onAllButtonClicked);
    connect(none, &QPushButton::clicked, this, &ChannelsBox::onNoneButtonClicked);
}

QAbstractButton *ChannelsBox::channelButton(int channel) const
{
    return m_group->button(channel);
}

void ChannelsBox::setChannels(const QBitArray &channels)
{
    // Whatever the document holds, the box shows sixteen channels.
    m_channels = channels;
    m_channels.resize(ChannelCount);
    showChannels();
}

void ChannelsBox::onButtonClicked(QAbstractButton *button)
{
    QBitArray channels = m_channels;
    channels.setBit(m_group->id(button), button->isChecked());
    edit(channels);
}

void ChannelsBox::onAllButtonClicked()
{
    edit(QBitArray(ChannelCount, true));
}

void ChannelsBox::onNoneButtonClicked()
{
    edit(QBitArray(ChannelCount, false));
}

void ChannelsBox::showChannels()
{
    for (int channel = 0; channel < ChannelCount; ++channel)
        m_group->button(channel)->setChecked(m_channels.testBit(channel));
}

void ChannelsBox::edit(const QBitArray &channels)
{
    m_channels = channels;
    showChannels();
    Q_EMIT channelsChanged(m_channels);
}
