#pragma once

#include "qmdglobal.h"

#include <QString>

// Passed with every request: the undo flags, the undo/redo text, and an
// optional request id to merge into an earlier request's undo step.
struct QmdRequestOptions
{
    QmdRequestOptions() = default;
    QmdRequestOptions(const QString &text) : text(text) {} // NOLINT: implicit on purpose
    QmdRequestOptions(Qmd::RequestFlags flags, const QString &text) : flags(flags), text(text) {}
    QmdRequestOptions(Qmd::RequestFlags flags, const QString &text, QmdRequestId requestId)
        : flags(flags), text(text), requestId(requestId)
    {
    }

    bool isUndoable() const { return !(flags & Qmd::NoUndo); }

    Qmd::RequestFlags flags = 0;
    QString text;
    QmdRequestId requestId = 0; // 0: the controller issues a new id
};

Q_DECLARE_METATYPE(QmdRequestOptions)
