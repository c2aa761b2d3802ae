// TSaslEngine through GNU SASL.
#include "mail/SaslEngine.h"

#include <gsasl.h>
#include <stdexcept>

namespace {

class TGsaslEngine final : public TSaslEngine {
public:
    TGsaslEngine(const std::string& Mechanism, const std::string& User, const std::string& Secret)
        : FMechanism(Mechanism)
    {
        if (gsasl_init(&FContext) != GSASL_OK
            || gsasl_client_start(FContext, Mechanism.c_str(), &FSession) != GSASL_OK) {
            Release();
            throw std::runtime_error("Méthode d'authentification non disponible : " + Mechanism);
        }
        gsasl_property_set(FSession, GSASL_AUTHID, User.c_str());
        gsasl_property_set(FSession, GSASL_PASSWORD, Secret.c_str());
    }
    ~TGsaslEngine() override { Release(); }

    std::string Step64(const std::string& Challenge) override
    {
        char* out = nullptr;
        const int rc = gsasl_step64(FSession, Challenge.c_str(), &out);
        std::string answer = out ? out : "";
        gsasl_free(out);
        if (rc != GSASL_OK && rc != GSASL_NEEDS_MORE)
            throw std::runtime_error("Réponse du serveur invalide pendant l'authentification " + FMechanism);
        return answer;
    }

private:
    void Release()
    {
        if (FSession)
            gsasl_finish(FSession);
        if (FContext)
            gsasl_done(FContext);
        FSession = nullptr;
        FContext = nullptr;
    }

    std::string FMechanism;
    Gsasl* FContext = nullptr;
    Gsasl_session* FSession = nullptr;
};

} // namespace

std::unique_ptr<TSaslEngine> NewSaslEngine(const std::string& Mechanism, const std::string& User,
                                           const std::string& Secret)
{
    return std::make_unique<TGsaslEngine>(Mechanism, User, Secret);
}
