// SaslModule: the SASL library's mechanisms as a module, for the program that loads the library
// only when a sign-in uses one.
#include "mail/SaslEngine.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT TSaslEngine* BrevicorNewSaslEngine(const std::string& Mechanism, const std::string& User,
                                                            const std::string& Secret)
{
    return NewSaslEngine(Mechanism, User, Secret).release();
}
