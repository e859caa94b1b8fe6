#pragma once

// Header only, for the tests that run the application in their own process.

#include <QDir>
#include <QTemporaryDir>

// A temporary folder for this process's settings (XDG_CONFIG_HOME) and
// temporary files (TMPDIR, which holds the single-instance socket), so that
// the application under test neither meets a running Ludra nor touches the
// user's settings; the built-in synthesizer stays silent and looks for no
// sound bank of the user's. Made before the application, kept while it runs.
class PrivateHome : public QTemporaryDir
{
public:
    PrivateHome()
    {
        QDir(path()).mkpath(QStringLiteral("tmp"));
        qputenv("TMPDIR", filePath(QStringLiteral("tmp")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("LUDRA_AUDIO_DRIVER", "none");
        qunsetenv("LUDRA_SOUNDFONT");
    }
};
