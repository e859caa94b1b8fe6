#include "modelbuild.h"

#include "qmddirectmodelinterface.h"

namespace {

class Parser
{
public:
    Parser(QmdModel &model, QStringView text) : m_model(&model), m_text(text) {}

    bool parse()
    {
        // The root is replaced first, so that nothing of the old tree stays.
        m_model.setData(QmdIndex(), QVariant());
        return item(QmdIndex()) && m_pos == m_text.size();
    }

private:
    bool item(const QmdIndex &index)
    {
        const QStringView rest = m_text.sliced(m_pos);
        if (rest.startsWith(u"I{"))
            return dict(index, Qmd::IntDict);
        if (rest.startsWith(u"S{"))
            return dict(index, Qmd::StrDict);
        qsizetype end = m_pos;
        while (end < m_text.size() && m_text[end] != u',' && m_text[end] != u'}')
            ++end;
        const QStringView value = m_text.sliced(m_pos, end - m_pos);
        m_pos = end;
        if (value == u"-")
            return true;
        const qsizetype colon = value.indexOf(u':');
        if (colon < 0)
            return false;
        const QMetaType type = QMetaType::fromName(value.first(colon).toLatin1());
        QVariant variant(value.sliced(colon + 1).toString());
        if (!type.isValid() || !variant.convert(type))
            return false;
        m_model.setData(index, variant);
        return true;
    }

    bool dict(const QmdIndex &index, Qmd::ContainerType kind)
    {
        m_model.setType(index, kind);
        m_pos += 2;
        while (m_pos < m_text.size() && m_text[m_pos] != u'}') {
            const qsizetype equals = m_text.indexOf(u'=', m_pos);
            if (equals < 0)
                return false;
            const QString key = m_text.sliced(m_pos, equals - m_pos).toString();
            m_pos = equals + 1;
            QmdIndex child;
            if (kind == Qmd::IntDict) {
                m_model.setType(key.toUInt(), Qmd::NoContainer, index);
                child = m_model.index(key.toUInt(), index);
            } else {
                m_model.setType(key, Qmd::NoContainer, index);
                child = m_model.index(key, index);
            }
            if (!m_model.isValid(child) || !item(child))
                return false;
            if (m_pos < m_text.size() && m_text[m_pos] == u',')
                ++m_pos;
        }
        if (m_pos == m_text.size())
            return false;
        ++m_pos;
        return true;
    }

    QmdDirectModelInterface m_model;
    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace

bool ModelBuild::tree(QmdModel &model, const QString &text)
{
    return Parser(model, text).parse();
}

QmdIndex ModelBuild::indexAt(const QmdModel &model, const QString &path)
{
    QmdIndex index;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        index = model.containerType(index) == Qmd::IntDict ? model.index(part.toUInt(), index)
                                                           : model.index(part, index);
    }
    return index;
}
