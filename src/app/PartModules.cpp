// PartModules: finding and loading the program's modules.
#include "app/PartModules.h"

#include <dlfcn.h>
#include <map>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

namespace {

// The folder of the running executable, with its final "/".
std::string ProgramFolder()
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        return "./";
    path.resize(std::size_t(n));
    return path.substr(0, path.rfind('/') + 1);
}

} // namespace

void* PartModuleEntry(const std::string& Name, const char* Symbol)
{
    static std::mutex lock;
    static std::map<std::string, void*> loaded;
    const std::lock_guard<std::mutex> guard(lock);
    void*& module = loaded[Name];
    std::string errors;
    if (module == nullptr) {
        const std::string folder = ProgramFolder();
        const std::string file = "libbrevicor_" + Name + ".so";
        for (const std::string& path : {folder + BREVICOR_MODULE_FROM_BIN + "/" + file, folder + file}) {
            module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (module != nullptr)
                break;
            errors += std::string("\n  ") + ::dlerror();
        }
    }
    if (module == nullptr)
        throw std::runtime_error("Module du programme introuvable : libbrevicor_" + Name + ".so" + errors);
    void* entry = ::dlsym(module, Symbol);
    if (entry == nullptr)
        throw std::runtime_error("Module du programme incomplet : libbrevicor_" + Name + ".so (" + Symbol + ")");
    return entry;
}
