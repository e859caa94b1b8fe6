#pragma once

#include <QWidget>

class QAbstractButton;
class QButtonGroup;

// The route of an edge as three icon buttons: city block, city block
// flipped and direct, whose indexes are the "Path" values. Index -1 checks
// none (edges that differ). Only the user's click emits currentChanged().
//
// GUI thread only.
class PathSelector : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int currentIndex READ currentIndex WRITE setCurrentIndex)

public:
    explicit PathSelector(QWidget *parent = nullptr);

    int currentIndex() const;
    void setCurrentIndex(int index);
    QAbstractButton *button(int index) const;

Q_SIGNALS:
    void currentChanged(int index);

private:
    QButtonGroup *m_group;
};
