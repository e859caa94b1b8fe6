#include "edgepage.h"

#include "listedit.h"
#include "mixedcheckbox.h"
#include "mixedvalue.h"
#include "pathselector.h"

#include <QFormLayout>

EdgePage::EdgePage(QWidget *parent)
    : InspectorPage(parent), m_path(new PathSelector(this)),
      m_wormhole(new MixedCheckBox(tr("Wormhole"), this)),
      m_scales(new ListEdit(ListSyntax::ScaleList, this))
{
    setWindowTitle(tr("Edge"));
    m_path->setObjectName(QStringLiteral("pathSelector"));
    m_wormhole->setObjectName(QStringLiteral("wormholeCheckBox"));
    m_wormhole->setToolTip(tr("Voices arrive without taking any time"));
    m_scales->setObjectName(QStringLiteral("scaleListEdit"));
    m_scales->setHint(tr("1,1/2,3/4"));
    m_scales->setToolTip(tr("Travel time factors, one per voice in turn"));
    auto *form = newForm(this);
    form->addRow(tr("Path:"), m_path);
    form->addRow(QString(), m_wormhole);
    form->addRow(tr("Scale List:"), m_scales);
}

void EdgePage::bindFields()
{
    bindField(m_path, "currentIndex", SIGNAL(currentChanged(int)), QStringLiteral("Path"), 0, -1,
              tr("Path"));
    bindField(m_wormhole, "value", SIGNAL(valueEdited()), QStringLiteral("IsWormhole"), false,
              MixedValue::variant(), tr("Wormhole"));
    bindField(m_scales, "value", SIGNAL(valueEdited()), QStringLiteral("ScaleList"), QString(),
              MixedValue::variant(), tr("Scale"));
}
