#include "documentpage.h"

#include "boundlineedit.h"
#include "colorchooserbutton.h"
#include "commentedit.h"
#include "editspinbox.h"
#include "instrumentpage.h"
#include "instrumentsmodel.h"
#include "midisyncportsbox.h"
#include "qmdludracontroller.h"
#include "qmdludrastylepresets.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QLabel *heading(const QString &text)
{
    auto *label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

DocumentPage::DocumentPage(InstrumentsModel *instruments, QWidget *parent)
    : InspectorPage(parent), m_tabs(new QTabWidget(this))
{
    setWindowTitle(tr("Document"));
    m_tabs->setDocumentMode(true);
    m_tabs->addTab(networkTab(), tr("Network"));
    m_tabs->addTab(instrumentsTab(instruments), tr("Instruments"));
    m_tabs->addTab(styleTab(), tr("Style"));
    m_tabs->addTab(infoTab(), tr("Info"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
}

QWidget *DocumentPage::networkTab()
{
    auto *tab = new QWidget;
    m_tempo = new EditSpinBox(1, 999, QStringLiteral("tempoSpinBox"));
    m_tempo->setSuffix(tr(" BPM"));
    m_principals = new EditSpinBox(1, 128, QStringLiteral("principalsSpinBox"));
    m_beats = new EditSpinBox(1, 128, QStringLiteral("beatsSpinBox"));
    m_divisions = new EditSpinBox(1, 64, QStringLiteral("divisionsSpinBox"));
    m_divisions->setToolTip(tr("Grid divisions per principal"));
    auto *ratio = new QHBoxLayout;
    ratio->addWidget(m_principals, 1);
    ratio->addWidget(new QLabel(QStringLiteral(":")), 0);
    ratio->addWidget(m_beats, 1);
    auto *form = newForm();
    form->addRow(tr("Tempo:"), m_tempo);
    form->addRow(tr("Principals : Beats:"), ratio);
    form->addRow(tr("Divisions:"), m_divisions);

    m_midiInputs = new MidiSyncPortsBox(MidiSyncPortsBox::Inputs);
    m_midiOutputs = new MidiSyncPortsBox(MidiSyncPortsBox::Outputs);
    auto *layout = new QVBoxLayout(tab);
    layout->addLayout(form);
    layout->addWidget(heading(tr("MIDI Clock In")));
    layout->addWidget(m_midiInputs);
    layout->addWidget(heading(tr("MIDI Clock Out")));
    layout->addWidget(m_midiOutputs);
    layout->addStretch();
    return tab;
}

QWidget *DocumentPage::instrumentsTab(InstrumentsModel *instruments)
{
    auto *tab = new QWidget;
    m_instrumentList = new QListView;
    m_instrumentList->setObjectName(QStringLiteral("instrumentList"));
    m_instrumentList->setModel(instruments);
    m_instrumentList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_instrumentList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_instrumentList->setMaximumHeight(110);
    auto *add = new QPushButton(tr("Add"));
    add->setObjectName(QStringLiteral("addInstrumentButton"));
    add->setToolTip(tr("Add an instrument"));
    m_removeInstrument = new QPushButton(tr("Remove"));
    m_removeInstrument->setObjectName(QStringLiteral("removeInstrumentButton"));
    m_removeInstrument->setEnabled(false);
    connect(add, &QPushButton::clicked, this, &DocumentPage::onAddInstrumentClicked);
    connect(m_removeInstrument, &QPushButton::clicked, this,
            &DocumentPage::onRemoveInstrumentClicked);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_removeInstrument);
    buttons->addStretch();

    m_instrumentPage = new InstrumentPage;
    m_instrumentPage->setEnabled(false);
    // Removal needs a selection, and the settings show the selected one.
    connect(m_instrumentList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_removeInstrument->setEnabled(selectedInstrument() != 0); });
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(m_instrumentList);
    layout->addLayout(buttons);
    layout->addWidget(m_instrumentPage);
    layout->addStretch();
    return tab;
}

QWidget *DocumentPage::styleTab()
{
    auto *tab = new QWidget;
    auto *form = newForm(tab);
    m_presets = new QComboBox;
    m_presets->setObjectName(QStringLiteral("stylePresetsComboBox"));
    // The first item stays current, so that any preset can be chosen again.
    m_presets->addItem(tr("Choose..."));
    m_presets->addItems(QmdLudraStylePresets::names());
    connect(m_presets, &QComboBox::currentTextChanged, this, &DocumentPage::onPresetChosen);
    form->addRow(tr("Presets:"), m_presets);
    const struct
    {
        const char *key;
        const char *label;
        const char *text;
    } colors[] = {
        {"StyleBackgroundColor", QT_TR_NOOP("Background:"), QT_TR_NOOP("Background Color")},
        {"StylePrincipalLinesColor", QT_TR_NOOP("Principal lines:"),
         QT_TR_NOOP("Principal Lines Color")},
        {"StylePrincipalPointsColor", QT_TR_NOOP("Principal points:"),
         QT_TR_NOOP("Principal Points Color")},
        {"StyleDivisionLinesColor", QT_TR_NOOP("Division lines:"),
         QT_TR_NOOP("Division Lines Color")},
        {"StyleDivisionPointsColor", QT_TR_NOOP("Division points:"),
         QT_TR_NOOP("Division Points Color")},
        {"StyleAnnotationColor", QT_TR_NOOP("Annotation:"), QT_TR_NOOP("Annotation Color")},
        {"StyleNodesColor", QT_TR_NOOP("Nodes:"), QT_TR_NOOP("Nodes Color")},
        {"StyleEdgesColor", QT_TR_NOOP("Edges:"), QT_TR_NOOP("Edges Color")},
    };
    for (const auto &color : colors) {
        auto *button = new ColorChooserButton;
        button->setObjectName(QString::fromLatin1(color.key));
        button->setToolTip(tr(color.text));
        form->addRow(tr(color.label), button);
        m_colors.append({button, QString::fromLatin1(color.key), tr(color.text)});
    }
    return tab;
}

QWidget *DocumentPage::infoTab()
{
    auto *tab = new QWidget;
    auto *form = newForm(tab);
    m_title = new BoundLineEdit;
    m_title->setObjectName(QStringLiteral("titleEdit"));
    m_author = new BoundLineEdit;
    m_author->setObjectName(QStringLiteral("authorEdit"));
    m_comment = new CommentEdit;
    m_comment->setObjectName(QStringLiteral("commentEdit"));
    form->addRow(tr("Title:"), m_title);
    form->addRow(tr("Author:"), m_author);
    form->addRow(tr("Comments:"), m_comment);
    return tab;
}

quint32 DocumentPage::selectedInstrument() const
{
    const QModelIndexList rows = m_instrumentList->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.constFirst().data(InstrumentsModel::IdRole).toUInt();
}

void DocumentPage::bindFields()
{
    bindField(m_tempo, "value", SIGNAL(valueChanged(int)), QStringLiteral("Tempo"), 120, 120,
              tr("Tempo"));
    bindField(m_principals, "value", SIGNAL(valueChanged(int)),
              QStringLiteral("PrincipalsToBeatsNumerator"), 1, 1, tr("Principals"));
    bindField(m_beats, "value", SIGNAL(valueChanged(int)),
              QStringLiteral("PrincipalsToBeatsDenominator"), 1, 1, tr("Beats"));
    bindField(m_divisions, "value", SIGNAL(valueChanged(int)), QStringLiteral("DivsPerPrincipal"),
              1, 1, tr("Divisions"));
    for (const StyleColor &color : std::as_const(m_colors))
        bindField(color.button, "color", SIGNAL(colorChanged(QColor)), color.key, QColor(),
                  QColor(), color.text);
    bindField(m_author, "value", SIGNAL(valueEdited()), QStringLiteral("Author"), QString(),
              QString(), tr("Author"));
    bindField(m_title, "value", SIGNAL(valueEdited()), QStringLiteral("Title"), QString(),
              QString(), tr("Title"));
    bindField(m_comment, "value", SIGNAL(editingFinished()), QStringLiteral("Comment"), QString(),
              QString(), tr("Comments"));
    m_midiInputs->setController(controller());
    m_midiOutputs->setController(controller());
}

void DocumentPage::onPresetChosen(const QString &name)
{
    if (m_presets->currentIndex() <= 0)
        return;
    if (controller())
        controller()->requestLoadStylePreset(name);
    const QSignalBlocker blocker(m_presets);
    m_presets->setCurrentIndex(0);
}

void DocumentPage::onAddInstrumentClicked()
{
    if (controller())
        controller()->requestAddInstrument();
}

void DocumentPage::onRemoveInstrumentClicked()
{
    const quint32 id = selectedInstrument();
    if (controller() && id)
        controller()->requestRemove(id, controller()->instrumentsIndex(), tr("Remove Instrument"));
}
