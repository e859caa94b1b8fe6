#pragma once

#include <QLabel>

// The picture shown while the application starts, with a line of status
// and the version below it.
//
// Threads: the GUI thread only.
class SplashScreen : public QLabel
{
    Q_OBJECT

public:
    SplashScreen(const QPixmap &pixmap, const QString &version);

    void setStatus(const QString &status);
    QString status() const;

    // Shows it centred on the available geometry of the primary screen,
    // in front.
    void showCentered();

private:
    QLabel *m_status = nullptr;
};
