#pragma once

#include "qmdimportexportinterface.h"

#include <QSet>
#include <QXmlStreamWriter>

// Writes a model's tree, or one subtree, as an XML property list. Every
// dictionary starts with a "ContainerType" entry naming its kind, so that a
// reader can rebuild IntDict and StrDict containers alike. Subclasses change
// how particular items are written by overriding the write functions; nested
// items always go through writeItem().
class QmdPropertyListExporter : public QmdImportExportInterface
{
    Q_OBJECT

public:
    QmdPropertyListExporter(QmdModel *model, QIODevice *device, QObject *parent = nullptr);

    // Writes a complete file holding the item at index; the invalid index
    // stands for the whole document.
    virtual void exportIndex(const QmdIndex &index = QmdIndex());
    virtual void writeHeader();
    virtual void writeItem(const QmdIndex &index);
    virtual void writeFooter();
    virtual void writeIntDict(const QmdIndexList &children);
    virtual void writeStrDict(const QmdIndexList &children);
    virtual void writeValue(const QmdIndex &index);

    // Excluded items are left out together with everything below them.
    QSet<QmdIndex> excludedIndexes() const { return m_excluded; }
    void setExcludedIndexes(const QSet<QmdIndex> &indexes) { m_excluded = indexes; }
    void excludeIndex(const QmdIndex &index) { m_excluded.insert(index); }

protected:
    QXmlStreamWriter &writer() { return m_writer; }

private:
    void writeDict(const QString &kindName, const QmdIndexList &children);
    void writeTextElement(const QString &name, const QString &text);

    QXmlStreamWriter m_writer;
    QSet<QmdIndex> m_excluded;
};
