#pragma once

#include "qmdglobal.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// The network as voices travel it, compiled from its document: every list
// already parsed, every travel time already worked out. Immutable once
// built; a new one replaces it when the document changes, so a firing reads
// one consistent network however the document changes meanwhile.
//
// Every element of the document is compiled with everything a voice may ask
// of it, whatever its kind: a voice reaches whatever element its edge names,
// and a missing value reads as the document's empty value would.
struct PlaybackGraph
{
    // A pitch or velocity entry: added to the previous value, or set.
    struct Step
    {
        bool relative = false;
        qint64 value = 0;
        bool operator==(const Step &) const = default;
    };

    // A duration entry. A percent entry counts in hundredths of the time to
    // the next node when there is one, of a principal otherwise.
    struct Duration
    {
        enum Op : quint8 { Set, Add, Multiply, Divide };
        Op op = Set;
        bool percent = false;
        // Set and Add: the amount with its sign; Multiply and Divide: the
        // operand.
        double value = 0;
        bool operator==(const Duration &) const = default;
    };

    // A field of an edge-usage list; empty fields are kept, since the
    // sequential method counts them.
    struct Usage
    {
        bool empty = true;
        QmdItemId edge = 0;
        int count = 0;
        bool operator==(const Usage &) const = default;
    };

    struct Element
    {
        // As an edge, or as the voice group it is: where the voice goes.
        QmdItemId fromNode = 0;
        QmdItemId toNode = 0;
        bool wormhole = false;
        // The length between "FromNode" and "ToNode", when both exist.
        bool travelKnown = false;
        qint64 travelTicks = 0;

        // As a node.
        QList<Step> pitches;
        QList<Step> velocities;
        QList<Duration> durations;
        QList<QByteArray> userMessages;
        // Whether "ArcUsageList" holds any text at all.
        bool hasUsage = false;
        QList<Usage> usage;
        int signalling = 0;
        bool dontPlayNote = false;
        bool doInstrumentChange = false;
        QmdItemId instrument = 0;

        // As a voice group.
        quint8 initialPitch = 0;
        quint8 initialVelocity = 0;
        qint64 initialDuration = 0;
        QmdItemId initialInstrument = 0;
    };

    static constexpr qint64 MaxDuration = 6652800000;

    QHash<QmdItemId, Element> elements;

    const Element *element(QmdItemId id) const
    {
        const auto it = elements.constFind(id);
        return it == elements.cend() ? nullptr : &it.value();
    }

    // The text forms of the document, as the lists are parsed. Entries are
    // the non-empty fields between commas.
    static QList<Step> pitchSteps(const QString &list);
    static QList<Step> velocitySteps(const QString &list);
    static QList<Duration> durations(const QString &list);
    // Hexadecimal tokens split at every single space; an empty token or one
    // that does not parse is a byte 0.
    static QList<QByteArray> userMessages(const QString &list);
    static QList<Usage> usage(const QString &list);
    // The MIDI note number of a note name ("C3" is 60), in 8 bits.
    static quint8 noteNumber(QStringView name);
    // Principals to ticks, rounded to the nearest, halves away from zero,
    // within 0..MaxDuration; anything that is not a number is 0.
    static qint64 durationTicks(double principals);
};
