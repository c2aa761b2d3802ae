// Shared by the fuzz targets: a Qt application for the components, a scratch folder emptied
// after each input.
#pragma once

#include <QCoreApplication>
#include <dirent.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace fuzzsupport {

inline void StartApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// A private folder (on tmpfs when there is one), ending with "/".
inline const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/brevicor-fuzz-XXXXXX");
        if (!mkdtemp(pattern.data()))
            abort();
        return pattern + "/";
    }();
    return folder;
}

inline void EmptyScratchFolder()
{
    DIR* d = opendir(ScratchFolder().c_str());
    if (!d)
        return;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            unlink((ScratchFolder() + name).c_str());
    }
    closedir(d);
}

} // namespace fuzzsupport
