#include "commanddocuments.h"

#include <QFile>

QString CommandDocuments::save(const std::function<void(NetworkDocument &)> &build,
                               const QString &name)
{
    NetworkDocument doc;
    build(doc);
    const QString fileName = path(name);
    doc.controller.requestSave(fileName);
    return doc.controller.fileName() == fileName ? fileName : QString();
}

bool CommandDocuments::writeGarbage(const QString &name)
{
    QFile file(path(name));
    return file.open(QIODevice::WriteOnly) && file.write("not what it claims to be\n") > 0;
}

void CommandDocuments::buildEnding(NetworkDocument &doc)
{
    doc.setRoot(QStringLiteral("Tempo"), 240u);
    doc.addInstrument();
    const QmdItemId a = doc.node(0, 0,
                                 {{QStringLiteral("SignallingMethod"), 1},
                                  {QStringLiteral("VelocityList"), QStringLiteral("100")},
                                  {QStringLiteral("DurationList"), QStringLiteral("25%")}});
    const QmdItemId b = doc.node(1, 0,
                                 {{QStringLiteral("PitchList"), QStringLiteral("E3")},
                                  {QStringLiteral("VelocityList"), QStringLiteral("90")},
                                  {QStringLiteral("DurationList"), QStringLiteral("0.25")}});
    const QmdItemId c = doc.node(1, 1,
                                 {{QStringLiteral("PitchList"), QStringLiteral("+7")},
                                  {QStringLiteral("VelocityList"), QStringLiteral("80")},
                                  {QStringLiteral("DurationList"), QStringLiteral("0.5")}});
    doc.edge(a, b);
    doc.edge(a, c);
    doc.group(a);
}

void CommandDocuments::buildLoop(NetworkDocument &doc, const NetworkDocument::Values &a,
                                 const NetworkDocument::Values &b)
{
    doc.addInstrument();
    const QmdItemId nodeA = doc.node(0, 0, a);
    const QmdItemId nodeB = doc.node(1, 0, b);
    doc.edge(nodeA, nodeB);
    doc.edge(nodeB, nodeA);
    doc.group(nodeA);
}
