#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;
class QmdLudraController;

// A command of the form "ludra NAME ..." that works without a window or a
// display: it parses its own options, answers --help, and reports every
// failure as one line on the standard error with an exit code of its own.
// It never looks for a running instance of the application, so several
// can run beside each other and beside the GUI.
class HeadlessCommand
{
public:
    // The exit codes every command shares; each failure has its own, so
    // that scripts can tell them apart.
    enum ExitCode {
        Success = 0,
        BadArguments = 2,
        UnreadableDocument = 3,
        UnwritableOutput = 4,
        NoSoundBank = 5,
        NoAudioOutput = 6,
    };

    // Lengths beyond this would overflow the grid's tick counts.
    static constexpr double MaxLength = 1e9;

    virtual ~HeadlessCommand() = default;

    // arguments holds the command's name first, then its own arguments.
    int run(const QStringList &arguments);

    virtual QString name() const = 0;
    // One line for the application's own help.
    virtual QString summary() const = 0;

protected:
    // The part of the usage line after "ludra NAME".
    virtual QString synopsis() const = 0;
    // Text printed after the options in --help (exit codes and the like).
    virtual QString helpEpilogue() const = 0;
    virtual void addOptions(QCommandLineParser &parser) const = 0;
    // Runs with parsed arguments; returns the exit code.
    virtual int execute(const QCommandLineParser &parser) = 0;

    // Prints "ludra NAME: message" on the standard error.
    void report(const QString &message) const;
    // Reports and returns the code.
    int fail(ExitCode code, const QString &message) const;

    // The one positional argument, or nullopt after reporting what is wrong.
    std::optional<QString> documentArgument(const QCommandLineParser &parser) const;
    // Reads a length option into *value (nullopt when it is absent); false
    // after a report when its text is not a number greater than 0 and at
    // most MaxLength.
    bool readLength(const QCommandLineParser &parser, const QString &option,
                    std::optional<double> *value) const;
    // Loads the file into the controller's document; false after a report.
    bool loadDocument(QmdLudraController &controller, const QString &fileName) const;

private:
    QString helpText(const QCommandLineParser &parser) const;
};
