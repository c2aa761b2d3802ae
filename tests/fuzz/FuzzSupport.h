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

// A private folder, ending with "/", inside $BREVICOR_FUZZ_SCRATCH (which scripts/fuzz makes and
// removes: a fuzzer ends without running exit handlers), else inside /tmp.
inline const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        const char* base = getenv("BREVICOR_FUZZ_SCRATCH");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/brevicor-fuzz-XXXXXX";
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
