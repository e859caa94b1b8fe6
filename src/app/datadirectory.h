#pragma once

#include <QString>

// Where the application finds the files it ships beside the program: the
// template of new documents, the example documents and the README. An
// installed Ludra has them in share/ludra (the README in share/doc/ludra)
// under its installation prefix, found from the program's own folder
// (bin/../share) so that a moved installation still finds them, else in
// the prefix it was built for. A program run from its build folder takes
// them from the source tree (resources/ and the README at its top).
class DataDirectory
{
public:
    // The folder holding template.ldx and examples/; empty when none is
    // found.
    static QString path();
    // The template every new document starts from unless the user chose
    // one; empty when there is none.
    static QString templateFile();
    static QString examplesFolder();
    // The README, Ludra's manual; empty when it is not found.
    static QString readmeFile();
};
