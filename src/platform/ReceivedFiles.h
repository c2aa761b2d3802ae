// ReceivedFiles: where the files of received messages go, and opening them (or their folder) with
// the desktop's programs.
#pragma once
#include <QString>

class Launcher;

// The folder received files are written to: the stored folder when it exists and can be written
// to, else the desktop's download folder followed by "/Brevicor", created when missing. Raises
// std::runtime_error (French text) when that folder cannot be created.
QString ReceivedFilesFolder(const QString& stored);

// Opens a received file with the desktop's program for its type, or a folder with the desktop's
// file manager. Raises std::runtime_error (French text) when the file is gone, when no program
// is associated with its type, when it could not be started, and for programs and scripts, which
// are never run from a message.
void OpenReceivedFile(Launcher& launcher, const QString& path);
