#pragma once

#include <QString>

namespace vlboot {

// The folder of setup.ini and Log.txt, for vlboot and vlboot-cli alike.
struct ConfigFolder {
    enum class Source {
        Option,        // named with --config-dir
        ProgramFolder, // the program's own folder (a build or unpacked folder)
        UserFolder,    // $XDG_CONFIG_HOME/vlboot (an installed program)
    };
    QString path; // absolute
    Source source = Source::ProgramFolder;
};

// What the choice depends on.
struct ConfigFolderFacts {
    QString option;                  // --config-dir, empty when not given
    QString programDir;              // the folder of the running program
    bool programDirWritable = false; // whether this user can write it
    QString installBinDir;           // the folder this build installs its programs into
    QString xdgConfigHome;           // $XDG_CONFIG_HOME, empty when not set
    QString home;                    // the user's home folder
};

// The rule: the folder named with --config-dir; otherwise the program's own
// folder, unless the program is installed: its folder cannot be written, is
// the folder this build installs its programs into, or lies under /usr. An
// installed program uses $XDG_CONFIG_HOME/vlboot, or ~/.config/vlboot when
// that variable is not set to an absolute path.
ConfigFolder ChooseConfigFolder(const ConfigFolderFacts& facts);

// The rule applied to the running program (needs the application object).
ConfigFolder FindConfigFolder(const QString& option);

// One line for --help: the folder in use and why.
QString ConfigFolderInUse(const ConfigFolder& folder);

// Creates the folder and any missing parent, readable only by the user (as
// the user's configuration folder should be); true when it exists after.
bool CreateConfigFolder(const QString& path);

} // namespace vlboot
