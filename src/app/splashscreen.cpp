#include "splashscreen.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>

SplashScreen::SplashScreen(const QPixmap &pixmap, const QString &version)
    : QLabel(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setPixmap(pixmap);
    setStyleSheet(QStringLiteral("QLabel { border: 1px solid rgb(80, 80, 80); }"));

    m_status = new QLabel;
    auto *versionLabel = new QLabel(version);
    for (QLabel *label : {m_status, versionLabel}) {
        label->setStyleSheet(QStringLiteral("QLabel { border: none; color: rgb(210, 214, 222); }"));
        label->setAttribute(Qt::WA_TranslucentBackground);
    }
    auto *line = new QHBoxLayout;
    line->addWidget(m_status, 1);
    line->addWidget(versionLabel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 10);
    layout->addStretch();
    layout->addLayout(line);
    setFixedSize(pixmap.deviceIndependentSize().toSize());
}

void SplashScreen::setStatus(const QString &status)
{
    m_status->setText(status);
}

QString SplashScreen::status() const
{
    return m_status->text();
}

void SplashScreen::showCentered()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    activateWindow();
    raise();
}
