// Feeds arbitrary bytes to the property-list reader. Besides crashes and
// sanitizer reports it checks that a rejected file leaves the model untouched,
// that the scanner and the general reader agree on every file, and that what
// loads, once written, reads back to the same file.
#include "qmdmemmodel.h"
#include "qmdmemmodelbuilder.h"
#include "qmdpropertylistexporter.h"
#include "qmdpropertylistimporter.h"
#include "qmdpropertylistreader.h"

#include <QBuffer>
#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

namespace {

bool import(QmdMemModel &model, QByteArray &file)
{
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    return QmdPropertyListImporter(&model, &buffer).importIndex();
}

QByteArray write(QmdModel &model)
{
    QBuffer written;
    written.open(QIODevice::WriteOnly);
    QmdPropertyListExporter(&model, &written).exportIndex();
    return written.data();
}

// What one way of reading made of a file.
struct Outcome
{
    bool accepted = false;
    QString error;
    QStringList diagnostics;
    QByteArray written;

    bool operator==(const Outcome &) const = default;
};

Outcome read(const QByteArray &file, QmdPropertyListReader::Path path)
{
    QmdMemModel model(Qmd::StrDict);
    // The importer's own conversion of values.
    QmdPropertyListImporter values(&model, nullptr);
    model.beginRequest(0, QmdRequestOptions(Qmd::NoUndo, QString()), QString());
    QmdMemModelBuilder builder(&model, QmdIndex());
    QmdPropertyListReader reader(&builder, [&values](const QString &tag, const QString &text,
                                                     const QmdIndex &index) {
        return values.readValue(tag, text, index);
    });
    Outcome outcome;
    outcome.accepted = reader.read(file, path);
    outcome.error = reader.errorString();
    outcome.diagnostics = reader.diagnostics();
    builder.put();
    model.endRequest();
    outcome.written = write(model);
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader's diagnostics would drown libFuzzer's own output.
    QLoggingCategory::setFilterRules(QStringLiteral("ludra.model.plist.warning=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    QmdMemModel model(Qmd::StrDict);
    if (!import(model, file)) {
        if (model.canUndo() || model.containerType(QmdIndex()) != Qmd::StrDict ||
            model.hasChildren(QmdIndex()))
            std::abort();
    }

    const Outcome fastest = read(file, QmdPropertyListReader::Path::Fastest);
    if (!(fastest == read(file, QmdPropertyListReader::Path::General)))
        std::abort();
    if (!fastest.accepted)
        return 0;

    QByteArray again = fastest.written;
    QmdMemModel copy;
    if (!import(copy, again) || write(copy) != fastest.written)
        std::abort();
    return 0;
}
