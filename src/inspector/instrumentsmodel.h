#pragma once

#include "qmdglobal.h"
#include "qmdobserver.h"

#include <QAbstractItemModel>
#include <QList>
#include <QMetaObject>

class QmdLudraController;

// The instruments of a document as a flat list for views: one row per
// instrument record, showing its "Label" with a swatch of its "Color". The
// rows follow the controller's instrument signals and are rebuilt at every
// reset of its document.
class InstrumentsModel : public QAbstractItemModel, public QmdObserver<QmdLudraController>
{
    Q_OBJECT

public:
    // Holds the instrument's record id.
    static constexpr int IdRole = 32;
    static constexpr int SwatchSize = 10;

    explicit InstrumentsModel(QObject *parent = nullptr);

    using QObject::parent;

    // Follows the controller's document from now on, rebuilding the rows.
    void setController(QmdLudraController *controller) override;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

public Q_SLOTS:
    // Rebuilds the rows from the controller's document.
    void resetSlot();
    void onModelAboutToBeReset();
    void onInstrumentsAdded(const QmdItemIdList &idList);
    void onInstrumentsRemoved(const QmdItemIdList &idList);
    void onInstrumentDataChangedOrRemoved(QmdItemId id, const QStringList &keys);

private:
    QVariant instrumentData(QmdItemId id, const QString &key) const;
    static QPixmap swatch(const QColor &color);

    QmdItemIdList m_ids;
    QList<QMetaObject::Connection> m_connections;
    // Between the controller's announcement of a reset and the rebuild.
    bool m_resetting = false;
};
