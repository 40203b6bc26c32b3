// Where the program finds its settings file.
#pragma once

#include <QString>

// Folder of the running executable, with a trailing "/".
QString ExecutableDir();

// Whether the current user may create files in folder.
bool IsFolderWritable(const QString& folder);

// The user's configuration folder for the program, with a trailing "/":
// $XDG_CONFIG_HOME/tavrelo/ when that variable holds an absolute path, else
// ~/.config/tavrelo/.
QString UserConfigDir();

// The settings file "system.INI": beside the executable (exeDir, trailing "/")
// so that a copy of the program keeps its settings with it; in the user's
// configuration folder for an installed copy (exeDir is <prefix>/bin with
// <prefix>/share/applications/tavrelo.desktop) or when exeDir does not let the
// user write. That folder is created when missing. A system.INI beside an
// executable the user may not write to (not an installed copy) is copied there
// when the folder has none yet, and stderr says where the settings are kept.
// A system.INI beside the executable that is no regular file (a link to a
// device, a pipe, a folder) is passed over the same way, and *notice (when
// given) is set to a sentence for the user saying so.
QString SettingsFilePath(const QString& exeDir, QString* notice = nullptr);
