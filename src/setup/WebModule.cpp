// WebModule: what needs HTTPS (refreshing the tokens of a browser sign-in) as a module, for the
// program that loads Qt Network only when an account signs in through the browser.
#include "setup/OAuth2.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT TTokenSource* BrevicorNewTokenSource(TSetupControl& Control, SecretStore& Secrets,
                                                              const TOAuthProvider& Provider,
                                                              const TOAuthClient& Client, const QString& Address)
{
    return NewTokenSource(Control, Secrets, Provider, Client, Address).release();
}
