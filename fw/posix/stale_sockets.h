#pragma once
// Private socket folders (a folder made with mkdtemp holding one listening socket) that a
// program killed on its way out, or whose display died, left behind.
#include <string>

namespace fw::posix {

// Removes the folders named `prefix` + six characters in `base` that belong to this user,
// hold nothing but an entry named `leaf`, and are no longer in use: their socket takes no
// connection (nothing listens on it), or there is no socket at all (the program died between
// making the folder and listening). Socket and folder must be at least `graceSeconds` old, so
// that a program that has just bound its socket and is about to listen keeps it. Anything
// else (a folder in use, someone else's, one with other files, a link) is left alone.
// Answers how many folders were removed.
int RemoveStaleSocketFolders(const std::string& base, const std::string& prefix, const std::string& leaf,
                             int graceSeconds = 2);

}  // namespace fw::posix
