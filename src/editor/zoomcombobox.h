#pragma once

#include <QComboBox>

// The zoom of a view as a list of scales, bound to the document's zoom
// through "currentKey": the entry whose scale is the document's shows, and a
// scale between the entries (the zoom tool halves 75% to 38%) shows as an
// entry of its own, in order. Only the user's choice emits activated().
//
// GUI thread only.
class ZoomComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(double currentKey READ currentKey WRITE setCurrentKey)

public:
    static const QList<double> &scales();

    explicit ZoomComboBox(QWidget *parent = nullptr);

    double currentKey() const;
    void setCurrentKey(double scale);

private:
    static QString label(double scale);
};
