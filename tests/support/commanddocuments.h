#pragma once

#include "networkdocument.h"

#include <QTemporaryDir>

#include <functional>

// A temporary folder of documents for the tests that run the ludra program,
// and the networks they play and render.
class CommandDocuments
{
public:
    static constexpr qint64 Principal = QmdLudra::TicksPerPrincipal;

    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path(); }
    // Saves the network build makes under the name; the file's path, or an
    // empty text when the save failed.
    QString save(const std::function<void(NetworkDocument &)> &build, const QString &name);
    // Writes text that is no document under the name.
    bool writeGarbage(const QString &name);

    // A network that ends, at 240 beats a minute (a principal is a quarter
    // second): A fires and passes play on in parallel to B (one principal
    // right) and C (one right, one down: two principals by city block).
    //   A: "C3" = 60, velocity 100, 25% of its primary edge, the longer one
    //      to C (2 principals): note off half a principal later.
    //   B: "E3" = 64, velocity 90, a quarter principal.
    //   C: "+7" on the 60 the voice carries = 67, velocity 80, half a
    //      principal.
    static void buildEnding(NetworkDocument &doc);
    // A and B, one principal apart, hand the voice back and forth for ever,
    // with the fields given for each.
    static void buildLoop(NetworkDocument &doc, const NetworkDocument::Values &a = {},
                          const NetworkDocument::Values &b = {});

private:
    QTemporaryDir m_dir;
};
