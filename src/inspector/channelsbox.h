#pragma once

#include <QBitArray>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

// The sixteen MIDI channels of an instrument as toggle buttons numbered 1 to
// 16, four to a row, with "All" and "None". Bit i of "channels" is channel i + 1; only the
// user's clicks emit channelsChanged().
//
// GUI thread only.
class ChannelsBox : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QBitArray channels READ channels WRITE setChannels)

public:
    static constexpr int ChannelCount = 16;

    explicit ChannelsBox(QWidget *parent = nullptr);

    QBitArray channels() const { return m_channels; }
    QAbstractButton *channelButton(int channel) const;

Q_SIGNALS:
    void channelsChanged(const QBitArray &channels);

public Q_SLOTS:
    void setChannels(const QBitArray &channels);
    void onButtonClicked(QAbstractButton *button);
    void onAllButtonClicked();
    void onNoneButtonClicked();

private:
    void showChannels();
    void edit(const QBitArray &channels);

    QBitArray m_channels{ChannelCount};
    QButtonGroup *m_group;
};
