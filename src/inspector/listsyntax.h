#pragma once

#include <QByteArray>
#include <QString>

// The texts the inspector's one-line fields accept: the lists a node plays
// from, the scale list of an edge and the single values a voice group
// starts with. The text typed is the value stored and read by playback, so
// these expressions decide what playback can ever be asked to read.
//
// Also what a note played on a MIDI keyboard enters into such a field.
class ListSyntax
{
public:
    enum Kind {
        PitchList,
        VelocityList,
        DurationList,
        UserMidiMessageList,
        ScaleList,
        SinglePitch,
        SingleVelocity,
        SingleDuration
    };

    // What a field makes of typed letters.
    enum LetterCase { KeepCase, UpperCase, LowerCase };

    // The regular expression a whole text must match; the empty text is
    // acceptable in every list.
    static QString pattern(Kind kind);
    static LetterCase letterCase(Kind kind);
    // Whether entries are separated by commas.
    static bool isList(Kind kind);

    // The entry a received MIDI message types into a field of the kind:
    // pitches and velocities take a note-on of the first channel (status
    // 0x90, velocity above 0), message lists every message as "0x.." bytes.
    // Empty when the field takes nothing from the message.
    static QString midiEntry(Kind kind, const QByteArray &message);

    // The text to type in place of text[from, to) so that entry stands
    // between commas: a comma before it unless it starts the text or
    // follows a comma, one after it unless it ends the text or precedes one.
    static QString separatedEntry(const QString &text, int from, int to, const QString &entry);
};
