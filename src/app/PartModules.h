// PartModules: the program's modules, loaded the first time they are needed: the windows, and the
// parts that need a library a plain check does without (TLS, SASL, the desktop bus, HTTPS).
#pragma once

#include <string>

// The entry point Symbol of the module libbrevicor_<Name>.so, looked for in the program's
// installed module folder, then beside the program; the module stays loaded. Raises
// std::runtime_error with a French text when it cannot be loaded.
void* PartModuleEntry(const std::string& Name, const char* Symbol);
