#pragma once

#include "qmdmemmodel.h"

// Builds a subtree of a memory model aside from its tree, then puts it in
// place as one change: one command of the model's current request, and the
// one signal of that command. Nothing is written through the model's
// operations meanwhile, so a subtree of any size costs no command and no
// signal per item. This is how a file is read, and how the records a
// document keeps for every one of its elements are made anew.
//
// The containers being built belong to the model already: its reads
// (index(), data(), parent(), ...) answer for indexes into them, so a
// reader can ask where a value stands before it is in place. Writes through
// the model's operations never reach them.
//
// Used on the thread that uses the model, as the model itself is; put()
// inside a request of the model.
class QmdMemModelBuilder
{
public:
    // A container being built, as handed out here; null stands for none,
    // and a call given none does nothing.
    using Container = QmdMemModel::SpecialItem *;

    // What is built is to replace the item at place; an index that is not
    // valid stands for the root.
    QmdMemModelBuilder(QmdMemModel *model, const QmdIndex &place);
    // Destroys whatever was built and not put in place.
    ~QmdMemModelBuilder();
    Q_DISABLE_COPY_MOVE(QmdMemModelBuilder)

    const QmdIndex &place() const { return m_place; }

    // The top of what is built: a new, empty container of the kind (none
    // for NoContainer), or a plain value. Either replaces an earlier top.
    Container setTop(Qmd::ContainerType kind);
    void setTopValue(const QVariant &value);
    bool hasTop() const { return m_hasTop; }

    // Items of a container being built, added or replaced; a container they
    // replace is destroyed. Keys of the wrong kind for the container, the
    // identifier 0 and the empty key are refused, as the model refuses them
    // (no container is then made).
    Container addContainer(Container parent, QmdItemId id, Qmd::ContainerType kind);
    Container addContainer(Container parent, const QString &key, Qmd::ContainerType kind);
    void setValue(Container parent, QmdItemId id, const QVariant &value);
    void setValue(Container parent, const QString &key, const QVariant &value);
    // Room for this many items in a container being built, when the count
    // is known beforehand.
    void reserve(Container container, qsizetype size);
    // The index of an item of a container being built, as it will be once
    // in place.
    QmdIndex index(Container parent, QmdItemId id) const;
    QmdIndex index(Container parent, const QString &key) const;

    // Destroys whatever was built and not put in place, to start over.
    void clear();

    // Puts the top in place and lets go of it. Nothing happens without a
    // top, or when the place has left the tree since (the top is then kept,
    // and destroyed with the builder).
    void put();

private:
    template <class Key> Container add(Container parent, const Key &key, Qmd::ContainerType kind);
    template <class Key> void set(Container parent, const Key &key, const QVariant &value);
    QmdIndex topLocation() const;

    QmdMemModel *const m_model;
    const QmdIndex m_place;
    QVariant m_top;
    bool m_hasTop = false;
};
