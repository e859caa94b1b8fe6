// Feeds arbitrary bytes to the property-list reader. Besides crashes and
// sanitizer reports it checks that a rejected file leaves the model untouched
// and that whatever loads can be written and read back.
#include "qmdmemmodel.h"
#include "qmdpropertylistexporter.h"
#include "qmdpropertylistimporter.h"

#include <QBuffer>
#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

namespace {

bool import(QmdModel &model, QByteArray &file)
{
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    return QmdPropertyListImporter(&model, &buffer).importIndex();
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
        return 0;
    }

    QBuffer written;
    written.open(QIODevice::WriteOnly);
    QmdPropertyListExporter(&model, &written).exportIndex();
    QByteArray again = written.data();
    QmdMemModel copy;
    if (!import(copy, again))
        std::abort();
    return 0;
}
