#pragma once
// The two folders the program works with, resolved once at start-up and passed down, so that no
// code depends on the current directory: the data folder (main.ini and the recorders' data files)
// and the resource folder (language files, pictures).

#include <string>

namespace veldrin {

struct ProgramFolders {
    std::string data;
    std::string resources;
};

// Folder of the running program file, without a trailing separator.
std::string programDirectory();

// Data folder: the explicit option, else $VELDRIN_DATA_DIR, else the program folder when it holds
// main.ini or a file named "portable", else defaultDataDirectory().
// The folder is created when missing unless `create` is false (a reader that must change nothing
// takes a missing folder as an empty one). Returns false with a message saying what is wrong with
// the folder when it cannot be had: not a folder, cannot be created, cannot be written (a writer)
// or read (a reader).
bool resolveDataDirectory(const std::string& option, std::string& out, std::string& error,
                          bool create = true);

// Resource folder: the program folder when it holds the language files, else the installed share
// folder beside it (../share/veldrin).
std::string resolveResourceDirectory();

// The system's own place for the data folder when nothing else names one: $XDG_DATA_HOME/veldrin
// or ~/.local/share/veldrin, %LOCALAPPDATA%\Veldrin on Windows. Empty with a message when the
// environment does not tell.
std::string defaultDataDirectory(std::string& error);

// The chosen folder must be a folder; a writer must be able to make files in it (it is made when
// missing), a reader to list and read it (a missing one reads as empty).
bool checkDataFolder(const std::string& folder, bool writer, std::string& error);

// The folder and the name with the system's separator between them.
std::string joinPath(const std::string& folder, const std::string& name);
// The path as the system shows it: '\' between the names on Windows (which takes '/' as well, but
// a message mixing the two reads as a mistake); unchanged elsewhere.
std::string nativePath(std::string path);
bool fileExists(const std::string& path);
// Makes the folder and its parents; false with errno set (ENOTDIR when a file is in the way).
bool makeDirectories(const std::string& path);

} // namespace veldrin
