// The dial service seam: common error texts.
#include "platform/DialService.h"

namespace {

struct ErrorText {
    uint32_t code;
    const char* french;
    const char* english;
};

// Texts stay under 100 characters: callers may show them in a one-line status bar.
const ErrorText kErrorTexts[] = {
    {DialError::ProgramNotFound, "Le programme demandé est introuvable.",
     "The requested program cannot be found."},
    {DialError::AccessDenied, "Accès refusé par le service réseau.",
     "Access denied by the network service."},
    {DialError::InvalidHandle, "Cette connexion n'existe pas (ou plus).",
     "The connection does not exist (any more)."},
    {DialError::NotSupported, "Opération non prise en charge pour cette connexion.",
     "The operation is not supported for this connection."},
    {DialError::InvalidName, "Le nom de la connexion n'est pas valide.",
     "The connection name is not valid."},
    {DialError::AlreadyExists, "Une autre connexion porte déjà ce nom.",
     "Another connection already has this name."},
    {DialError::EntryNotFound, "Connexion introuvable.", "The connection cannot be found."},
    {DialError::RemoteDisconnected, "La connexion a été coupée par l'autre extrémité.",
     "The connection was closed by the remote end."},
    {DialError::UserDisconnected, "La connexion a été fermée par l'utilisateur.",
     "The connection was closed by the user."},
    {DialError::DeviceUnavailable, "Le périphérique de connexion n'est pas disponible.",
     "The connecting device is not available."},
    {DialError::Unknown, "Erreur inconnue du service réseau.",
     "Unknown error of the network service."},
    {DialError::DeviceError, "Le périphérique de connexion a signalé une erreur.",
     "The connecting device reported an error."},
    {DialError::Disconnected, "La connexion a été interrompue.", "The connection was terminated."},
    {DialError::LineBusy, "La ligne est occupée.", "The line is busy."},
    {DialError::NoAnswer, "Pas de réponse.", "There is no answer."},
    {DialError::NoDialTone, "Pas de tonalité.", "There is no dial tone."},
    {DialError::AuthenticationFailed, "Nom d'utilisateur ou mot de passe refusé.",
     "The user name or password was refused."},
    {DialError::ServiceUnavailable, "Le service réseau ne répond pas.",
     "The network service does not answer."},
    {DialError::Timeout, "Délai dépassé pendant l'établissement de la connexion.",
     "The connection timed out."},
    {DialError::IpConfigFailed, "Aucune adresse IP n'a pu être obtenue.",
     "No IP address could be obtained."},
    {DialError::DeviceNotFound, "Aucun périphérique ne convient à cette connexion (modem absent ?).",
     "No device suits this connection (missing modem?)."},
};

} // namespace

QString DialService::standardErrorText(uint32_t code, DialTextLanguage language)
{
    for (const ErrorText& t : kErrorTexts)
        if (t.code == code)
            return QString::fromUtf8(language == DialTextLanguage::French ? t.french : t.english);
    return language == DialTextLanguage::French ? QStringLiteral("Erreur %1 du service réseau.").arg(code)
                                                : QStringLiteral("Network service error %1.").arg(code);
}

QString DialService::errorText(uint32_t code)
{
    return standardErrorText(code, textLanguage_);
}
