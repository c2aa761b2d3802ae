// TlsModule: the TLS transport as a module, for the program that loads the TLS library only
// when a session starts TLS.
#include "net/OpenSslTransport.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT TTlsTransport* BrevicorNewTlsTransport(int Socket, const std::string& Host,
                                                                 const std::string& CaFile)
{
    return new TOpenSslTransport(Socket, Host, CaFile);
}
