// TKTIMAP: the IMAP4rev1 client session (INBOX status, listing, reading, deleting, IDLE).
#include "mail/KTimap.h"

#include "mail/MailErrors.h"
#include "mail/MessageDecoder.h"
#include "net/TextHelpers.h"

#include <QMetaObject>

#include <algorithm>
#include <cctype>
#include <exception>
#include <optional>
#include <stdexcept>

using namespace mailtext;

namespace {

const char kAuthFailed[] = "L'authentification a échoué";
// Largest piece of a line or literal taken from the receive buffer at once.
constexpr std::size_t kPiece = 64 * 1024;
// The header fields a listing fetches.
const char kSummaryItems[] = "(UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE MESSAGE-ID)])";

std::string Trim(const std::string& S)
{
    size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= ' ')
        ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= ' ')
        --E;
    return S.substr(B, E - B);
}

bool StartsNoCase(const std::string& S, const char* Prefix)
{
    const size_t N = std::char_traits<char>::length(Prefix);
    if (S.size() < N)
        return false;
    for (size_t I = 0; I < N; ++I)
        if (std::tolower(static_cast<unsigned char>(S[I])) != std::tolower(static_cast<unsigned char>(Prefix[I])))
            return false;
    return true;
}

// The server's words of a tagged reply: the line without its tag.
std::string Words(const TImapResponse& R)
{
    const size_t Space = R.Line.find(' ');
    return Space == std::string::npos ? R.Line : R.Line.substr(Space + 1);
}

} // namespace

TKTIMAP::TKTIMAP(QObject* Owner) : TMailSession(Owner)
{
    Port = 143;
    // While in IDLE nobody waits on the connection: what arrives is announced from the event
    // loop, once per burst.
    DataArrivedEvent = [this](QObject*) {
        if (!FIdling || FReading || FActivityPosted)
            return;
        FActivityPosted = true;
        QMetaObject::invokeMethod(this, [this] {
            FActivityPosted = false;
            if (FIdling && !FReading && OnIdleActivity)
                OnIdleActivity(this);
        }, Qt::QueuedConnection);
    };
}

TKTIMAP::~TKTIMAP()
{
    OnStatus = nullptr;
    TSocketSession::OnDisconnect = nullptr;
    try {
        Abort();
    } catch (...) {
    }
}

std::string TKTIMAP::NextTag()
{
    return "B" + std::to_string(++FTagCount);
}

// ---------------------------------------------------------------------------------------------
// Responses

TImapResponse TKTIMAP::ReadResponse()
{
    FReading = true;
    TFinally notReading([this] { FReading = false; });
    TImapResponse R;
    try {
        while (!FParser.Next(R)) {
            bool Complete = false;
            const std::uint64_t Left = FParser.LiteralLeft();
            const std::size_t Max = Left > 0 ? std::size_t(std::min<std::uint64_t>(Left, kPiece)) : kPiece;
            FParser.Feed(ReadLnPart(Max, Complete));
        }
    } catch (const EImapProtocolError&) {
        // Nothing later on this connection can be trusted to start a response.
        CloseQuietly();
        FParser.Reset();
        throw;
    }
    if (R.Kind != TImapResponse::Untagged || !R.Status.empty())
        ReportStatus(1, R.Line);
    return R;
}

void TKTIMAP::NoteCode(const TImapResponse& R)
{
    if (R.Code == "CAPABILITY")
        CapabilitiesFrom(R.CodeData);
    else if (R.Code == "UIDNEXT")
        FSelected.UidNext = std::strtoull(R.CodeData.c_str(), nullptr, 10);
    else if (R.Code == "UIDVALIDITY")
        FSelected.UidValidity = std::strtoull(R.CodeData.c_str(), nullptr, 10);
}

void TKTIMAP::CapabilitiesFrom(const std::string& Words)
{
    FCapabilities.Clear();
    size_t I = 0;
    while (I < Words.size()) {
        const size_t Space = Words.find(' ', I);
        const size_t End = Space == std::string::npos ? Words.size() : Space;
        if (End > I)
            FCapabilities.AddLine(std::string_view(Words).substr(I, End - I));
        I = End + 1;
    }
    if (!FCapabilities.Known())
        FCapabilities.AddLine("");
}

void TKTIMAP::Untagged(const TImapResponse& R)
{
    if (!R.Status.empty()) {
        NoteCode(R);
        if (R.Status == "BYE" && !FLoggingOut) {
            FIdling = false;
            CloseQuietly();
            throw ESockError("Le serveur " + Host + " a mis fin à la session" + (R.Text.empty() ? "" : " : " + R.Text));
        }
        return;
    }
    if (R.Name == "CAPABILITY") {
        std::string Words;
        for (const TImapValue& V : R.Values)
            Words += V.Str() + " ";
        CapabilitiesFrom(Words);
    } else if (R.HasNumber && R.Name == "EXISTS") {
        FSelected.Exists = R.Number;
        if (OnExists)
            OnExists(R.Number);
    } else if (R.HasNumber && R.Name == "EXPUNGE") {
        if (FSelected.Exists > 0)
            --FSelected.Exists;
    }
}

TImapResponse TKTIMAP::WaitTagged(const std::string& Tag, const std::function<void(const TImapResponse&)>& Each)
{
    for (;;) {
        TImapResponse R = ReadResponse();
        if (R.Kind == TImapResponse::Tagged) {
            if (R.Tag != Tag) {
                CloseQuietly();
                throw EImapProtocolError("Réponse du serveur IMAP illisible : étiquette inattendue « " + R.Tag + " »");
            }
            NoteCode(R);
            return R;
        }
        if (R.Kind == TImapResponse::Continuation) {
            CloseQuietly();
            throw EImapProtocolError("Réponse du serveur IMAP illisible : demande de suite inattendue");
        }
        Untagged(R);
        if (Each)
            Each(R);
    }
}

TImapResponse TKTIMAP::Command(const std::string& Text, const std::function<void(const TImapResponse&)>& Each)
{
    const std::string Tag = NextTag();
    Writeln(Tag + " " + Text);
    return WaitTagged(Tag, Each);
}

TImapResponse TKTIMAP::CommandStrings(const std::string& Verb, const std::vector<std::string>& Strings)
{
    const std::string Tag = NextTag();
    const bool NonSync = FCapabilities.Has("LITERAL+");
    std::string Line = Tag + " " + Verb;
    for (const std::string& S : Strings) {
        bool Literal = false;
        const std::string Quoted = ImapQuoted(S, Literal);
        if (!Literal) {
            Line += " " + Quoted;
            continue;
        }
        Line += " {" + std::to_string(S.size()) + (NonSync ? "+}" : "}");
        Writeln(Line);
        if (!NonSync) {
            // The server says whether it takes the literal before it is sent.
            for (;;) {
                TImapResponse R = ReadResponse();
                if (R.Kind == TImapResponse::Continuation)
                    break;
                if (R.Kind == TImapResponse::Tagged && R.Tag == Tag)
                    return R;
                Untagged(R);
            }
        }
        Line = S;
    }
    Writeln(Line);
    return WaitTagged(Tag, {});
}

void TKTIMAP::RequireOk(const TImapResponse& Reply)
{
    if (Reply.Status != "OK")
        throw std::runtime_error(Words(Reply));
}

void TKTIMAP::ReadCapabilities()
{
    TOperationLimit Limit(*this, OperationTimeOut);
    RequireOk(Command("CAPABILITY"));
}

// ---------------------------------------------------------------------------------------------
// Connection and sign-in

void TKTIMAP::Connect()
{
    // Whether the previous server opened its session unasked must not decide this one's sign-in.
    FPreAuthenticated = false;
    TMailSession::Connect();
}

void TKTIMAP::CheckCredentials()
{
    bool Asked = false;
    while (Secret().empty() || UserID.empty()) {
        if (!OnAuthenticationNeeded || Asked)
            throw std::runtime_error(kAuthFailed);
        Asked = true;
        bool Handled = false;
        OnAuthenticationNeeded(Handled);
        if (!Handled)
            throw std::runtime_error(kAuthFailed);
    }
    RequireNoLineBreak(UserID);
    RequireNoLineBreak(Secret());
}

void TKTIMAP::ReadGreeting()
{
    FParser.Reset();
    FTagCount = 0;
    FCapabilities.Clear();
    FSelected = TImapMailbox();
    FIdling = false;
    FLoggingOut = false;
    const TImapResponse Greeting = ReadResponse();
    if (Greeting.Kind != TImapResponse::Untagged || (Greeting.Status != "OK" && Greeting.Status != "PREAUTH")) {
        if (Greeting.Status == "BYE")
            throw std::runtime_error("Le serveur " + Host + " refuse la connexion : " + Greeting.Text);
        throw EImapProtocolError("Réponse du serveur IMAP illisible : accueil « " + Greeting.Line.substr(0, 80) + " »");
    }
    NoteCode(Greeting);
    FPreAuthenticated = Greeting.Status == "PREAUTH";
}

void TKTIMAP::AfterSignIn()
{
    // What a server announces changes with the sign-in; an OK without the list asks again.
    if (!FCapabilities.Has("IMAP4REV1") && !FCapabilities.Has("IMAP4rev2"))
        ReadCapabilities();
}

void TKTIMAP::StartSecurity()
{
    if (Security != secStartTls) {
        if (!FCapabilities.Known())
            ReadCapabilities();
        return;
    }
    // A session opened before any encryption could be one an attacker on the path answered.
    if (FPreAuthenticated)
        throw std::runtime_error("Le serveur " + Host + " a ouvert la session sans chiffrement : connexion abandonnée");
    if (!FCapabilities.Known())
        ReadCapabilities();
    if (!FCapabilities.Has("STARTTLS"))
        throw std::runtime_error("Le serveur " + Host + " ne propose pas de connexion chiffrée (STARTTLS) : "
                                 "connexion abandonnée, aucun mot de passe n'a été envoyé");
    {
        TOperationLimit Limit(*this, OperationTimeOut);
        RequireOk(Command("STARTTLS"));
    }
    StartTls();
    // Nothing announced in clear is trusted.
    FCapabilities.Clear();
    ReadCapabilities();
}

namespace {

// A refusal that is the server's fault rather than the credentials', or a command the server did
// not understand: reported as it is, not as a wrong password.
void ThrowUnlessCredentials(const TImapResponse& R)
{
    if (R.Status == "BAD" || R.Code == "UNAVAILABLE" || R.Code == "SERVERBUG" || R.Code == "INUSE"
        || R.Code == "CONTACTADMIN")
        throw std::runtime_error(Words(R));
}

} // namespace

bool TKTIMAP::TrySignIn(std::string& Refusal)
{
    // The handler of a refusal may have changed the credentials.
    RequireNoLineBreak(UserID);
    RequireNoLineBreak(Secret());
    TSignInContext Context;
    Context.Pop3 = false;
    Context.CapabilitiesKnown = FCapabilities.Known();
    Context.Offered = FCapabilities.SaslMechanisms();
    Context.Encrypted = Secure();
    Context.ClearAllowed = Security == secNone;
    Context.Host = Host;
    // LOGIN shows the password to the line: only over TLS, or when the account asks for no security.
    const bool LoginAllowed = !FCapabilities.Has("LOGINDISABLED") && (Secure() || Security == secNone);
    const bool PlainOffered = std::find(Context.Offered.begin(), Context.Offered.end(), "PLAIN") != Context.Offered.end();
    bool LoginCommand = false;
    if (AuthMethod == TAuthMethod::Password && !PlainOffered && LoginAllowed) {
        LoginCommand = true;
    } else {
        try {
            FMechanism = ChooseMechanism(AuthMethod, Context);
        } catch (const std::runtime_error&) {
            if (AuthMethod != TAuthMethod::Automatic || !LoginAllowed || !Context.Offered.empty())
                throw;
            LoginCommand = true;
        }
    }
    if (!LoginCommand)
        return AuthenticateSasl(Refusal);
    FMechanism = "LOGIN";
    const TSecretText Secret(this->Secret());
    const TImapResponse R = CommandStrings("LOGIN", {UserID, Secret.Text()});
    if (R.Status == "OK")
        return true;
    ThrowUnlessCredentials(R);
    Refusal = Words(R);
    return false;
}

bool TKTIMAP::AuthenticateSasl(std::string& Refusal)
{
    const std::string Tag = NextTag();
    TImapResponse Last;
    TSaslWire Wire;
    Wire.Command = Tag + " AUTHENTICATE";
    // Without SASL-IR the first message waits for the server's empty challenge.
    Wire.MaxCommandLength = FCapabilities.Has("SASL-IR") ? 16 * 1024 : 0;
    Wire.ReadLine = [&] {
        for (;;) {
            Last = ReadResponse();
            if (Last.Kind != TImapResponse::Untagged)
                return Last.Line;
            Untagged(Last);
        }
    };
    Wire.Classify = [&](const std::string&, std::string& Payload) {
        if (Last.Kind == TImapResponse::Continuation) {
            Payload = Trim(Last.Text);
            return TSaslWire::Continue;
        }
        if (Last.Tag != Tag) {
            CloseQuietly();
            throw EImapProtocolError("Réponse du serveur IMAP illisible : étiquette inattendue « " + Last.Tag + " »");
        }
        NoteCode(Last);
        return Last.Status == "OK" ? TSaslWire::Success : TSaslWire::Failure;
    };
    std::string Final;
    // ReadResponse has reported the server's last line already.
    if (SaslSignIn(UserID, Wire, Final, false))
        return true;
    ThrowUnlessCredentials(Last);
    Refusal = Words(Last);
    return false;
}

void TKTIMAP::Disconnect()
{
    Logout(OperationTimeOut);
}

void TKTIMAP::Logout(int LimitMs)
{
    TOperationLimit Limit(*this, LimitMs);
    FLoggingOut = true;
    TFinally NotLoggingOut([this] { FLoggingOut = false; });
    try {
        if (FIdling)
            StopIdle();
        RequireOk(Command("LOGOUT"));
    } catch (...) {
        CloseQuietly();
        throw;
    }
    TSocketSession::Disconnect();
    ReceiveBuffer.Clear();
}

void TKTIMAP::CloseQuietly()
{
    FIdling = false;
    TMailSession::CloseQuietly();
    ReceiveBuffer.Clear();
}

void TKTIMAP::Abort()
{
    // Without a running operation the connection is dropped: IDLE ends with it.
    if (!Busy() && Connected() && !Canceled())
        FIdling = false;
    TMailSession::Abort();
}

// ---------------------------------------------------------------------------------------------
// Operations

template <typename F>
auto TKTIMAP::Operation(F Work) -> decltype(Work())
{
    TBusyGuard Busy(*this);
    if (!Busy.Entered())
        throw std::runtime_error("Une opération est déjà en cours sur " + Host);
    RequireConnection();
    if (FIdling)
        StopIdle();
    try {
        return Work();
    } catch (const ESockError&) {
        CloseQuietly();
        throw;
    }
}

TImapStatus TKTIMAP::Status(const std::string& Mailbox)
{
    return Operation([&] {
        TOperationLimit Limit(*this, OperationTimeOut);
        TImapStatus S;
        bool Literal = false;
        std::string Name = ImapQuoted(Mailbox, Literal);
        if (Literal)
            throw std::runtime_error("Nom de dossier IMAP invalide");
        RequireOk(Command("STATUS " + Name + " (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)", [&](const TImapResponse& R) {
            if (R.Name != "STATUS" || R.Values.size() < 2 || R.Values[1].Kind != TImapValue::List)
                return;
            const auto& Items = R.Values[1].Items;
            for (size_t I = 0; I + 1 < Items.size(); I += 2) {
                const std::uint64_t V = Items[I + 1].NumberOr(0);
                if (Items[I].Is("MESSAGES"))
                    S.Messages = V;
                else if (Items[I].Is("UNSEEN"))
                    S.Unseen = V;
                else if (Items[I].Is("UIDNEXT"))
                    S.UidNext = V;
                else if (Items[I].Is("UIDVALIDITY"))
                    S.UidValidity = V;
            }
        }));
        return S;
    });
}

TImapMailbox TKTIMAP::Select(const std::string& Mailbox, bool ReadOnly)
{
    return Operation([&] {
        TOperationLimit Limit(*this, OperationTimeOut);
        bool Literal = false;
        const std::string Name = ImapQuoted(Mailbox, Literal);
        if (Literal)
            throw std::runtime_error("Nom de dossier IMAP invalide");
        FSelected = TImapMailbox();
        const TImapResponse R = Command((ReadOnly ? "EXAMINE " : "SELECT ") + Name);
        if (R.Status != "OK") {
            FSelected = TImapMailbox();
            RequireOk(R);
        }
        FSelected.Name = Mailbox;
        FSelected.ReadOnly = ReadOnly || R.Code == "READ-ONLY";
        return FSelected;
    });
}

TImapSummary TKTIMAP::SummaryFrom(const TImapResponse& R) const
{
    TImapSummary S;
    S.MsgNum = R.Number;
    if (const TImapValue* Uid = R.Item("UID"))
        S.Uid = Uid->NumberOr(0);
    if (const TImapValue* Flags = R.Item("FLAGS")) {
        for (const TImapValue& F : Flags->Items) {
            S.Flags.push_back(F.Str());
            if (F.Is("\\Seen"))
                S.Seen = true;
        }
    }
    if (const TImapValue* Size = R.Item("RFC822.SIZE"))
        S.Summary.Bytes = int(std::min<std::uint64_t>(Size->NumberOr(0), 0x7fffffff));
    if (const TImapValue* Header = R.Item("BODY[HEADER", true)) {
        // Unfolded fields; each keeps the blank after its colon, as a POP3 summary does.
        std::vector<std::string> Fields;
        size_t I = 0;
        const std::string& T = Header->Str();
        while (I < T.size()) {
            size_t E = T.find('\n', I);
            if (E == std::string::npos)
                E = T.size();
            std::string Line = T.substr(I, E - I);
            if (!Line.empty() && Line.back() == '\r')
                Line.pop_back();
            I = E + 1;
            if (Line.empty())
                continue;
            S.Summary.Header.Add(Line);
            if ((Line[0] == ' ' || Line[0] == '\t') && !Fields.empty())
                Fields.back() += Line;
            else
                Fields.push_back(Line);
        }
        for (const std::string& F : Fields) {
            if (StartsNoCase(F, "Subject:"))
                S.Summary.Subject = F.substr(8);
            else if (StartsNoCase(F, "From:"))
                S.Summary.From = F.substr(5);
            else if (StartsNoCase(F, "Date:"))
                S.Date = F.substr(5);
            else if (StartsNoCase(F, "Message-ID:"))
                S.Summary.MessageId = Trim(F.substr(11)).substr(0, 256);
        }
    }
    S.Summary.Header.Add(".");
    return S;
}

int TKTIMAP::FetchSummariesOf(const std::string& Text, const TImapSummaryEvent& Each)
{
    int Listed = 0;
    bool Stopped = false;
    std::exception_ptr Failure;
    TOperationLimit Limit(*this, OperationTimeOut);
    // A failure of the caller's handler lets the rest of the answer be read first.
    const TImapResponse R = Command(Text, [&](const TImapResponse& Data) {
        if (Stopped || Failure || Data.Name != "FETCH" || !Data.HasNumber)
            return;
        const TImapSummary S = SummaryFrom(Data);
        if (S.Uid == 0 || !Data.Item("RFC822.SIZE"))
            return;  // an unsolicited flag update, not an answer to this command
        ++Listed;
        try {
            if (Each && !Each(S))
                Stopped = true;
        } catch (...) {
            Failure = std::current_exception();
        }
    });
    if (Failure)
        std::rethrow_exception(Failure);
    RequireOk(R);
    return Stopped ? -Listed - 1 : Listed;
}

int TKTIMAP::ListSummaries(std::uint64_t First, std::uint64_t Last, const TImapSummaryEvent& Each)
{
    return Operation([&] {
        int Listed = 0;
        const std::uint64_t Batch = std::uint64_t(std::max(ListBatch, 1));
        for (std::uint64_t From = std::max<std::uint64_t>(First, 1); From <= Last; From += Batch) {
            const std::uint64_t To = std::min(Last, From + Batch - 1);
            const int N = FetchSummariesOf("FETCH " + std::to_string(From) + ":" + std::to_string(To) + " " + kSummaryItems, Each);
            if (N < 0)
                return Listed - N - 1;
            Listed += N;
        }
        return Listed;
    });
}

int TKTIMAP::FetchSummaries(const std::string& Set, const TImapSummaryEvent& Each)
{
    return Operation([&] {
        if (Set.empty() || Set.find_first_not_of("0123456789:,*") != std::string::npos)
            throw std::runtime_error("Ensemble de messages IMAP invalide : " + Set);
        const int N = FetchSummariesOf("UID FETCH " + Set + " " + kSummaryItems, Each);
        return N < 0 ? -N - 1 : N;
    });
}

void TKTIMAP::RetrieveMessage(std::uint64_t Uid)
{
    Operation([&] {
        if (OnRetrieveStart)
            OnRetrieveStart(this);
        TFinally End([this] {
            try {
                if (OnRetrieveEnd)
                    OnRetrieveEnd(this);
            } catch (...) {
            }
        });
        FMailMessage = TMailMessage();
        TMessageDecoder Decoder(FMailMessage, AttachFilePath, [this](const std::string& S) { ReportStatus(1, S); });
        bool LineStart = true;
        bool Whole = false;
        std::exception_ptr Failure;
        // The answer's start is a short exchange; the body, of any size, must only keep moving: a
        // slow line passes, a server that drips a byte now and then does not.
        std::optional<TOperationLimit> Start(std::in_place, *this, OperationTimeOut);
        std::optional<TRateLimit> Rate;
        // The body goes from the receive buffer into the decoder piece by piece, never held whole.
        FParser.StreamLiteral = [&, this](std::string_view Item, std::uint64_t) {
            const bool Body = Item.size() == 6 && StartsNoCase(std::string(Item), "BODY[]");
            if (Body && Start) {
                Start.reset();
                Rate.emplace(*this);
            }
            return Body;
        };
        FParser.LiteralData = [&](std::string_view Data, bool Last) {
            if (Failure)
                return;
            try {
                while (!Data.empty()) {
                    const size_t Lf = Data.find('\n');
                    const size_t N = Lf == std::string_view::npos ? Data.size() : Lf + 1;
                    Decoder.Feed(Data.substr(0, N), LineStart, Lf != std::string_view::npos);
                    LineStart = Lf != std::string_view::npos;
                    Data.remove_prefix(N);
                }
                if (Last) {
                    Decoder.Finish();
                    Whole = true;
                }
            } catch (...) {
                // A file failure: the rest of the answer is still read, so the session stays usable.
                Failure = std::current_exception();
            }
        };
        TFinally NoStream([this] {
            FParser.StreamLiteral = nullptr;
            FParser.LiteralData = nullptr;
        });
        const TImapResponse R = Command("UID FETCH " + std::to_string(Uid) + " (UID BODY.PEEK[])");
        Rate.reset();
        Start.reset();
        if (Failure)
            std::rethrow_exception(Failure);
        RequireOk(R);
        if (!Whole)
            throw std::runtime_error("Le message n'est plus sur le serveur " + Host);
        TOperationLimit Limit(*this, OperationTimeOut);
        RequireOk(Command("UID STORE " + std::to_string(Uid) + " +FLAGS.SILENT (\\Seen)"));
        ReportStatus(1, "Message récupéré");
    });
}

void TKTIMAP::DeleteMessage(std::uint64_t Uid)
{
    Operation([&] {
        TOperationLimit Limit(*this, OperationTimeOut);
        const std::string Id = std::to_string(Uid);
        RequireOk(Command("UID STORE " + Id + " +FLAGS.SILENT (\\Deleted)"));
        // Without UIDPLUS, EXPUNGE also removes what another program marked for deletion.
        RequireOk(Command(FCapabilities.Has("UIDPLUS") ? "UID EXPUNGE " + Id : "EXPUNGE"));
    });
}

// ---------------------------------------------------------------------------------------------
// IDLE

void TKTIMAP::StartIdle()
{
    if (FIdling)
        return;
    if (!FCapabilities.Has("IDLE"))
        throw std::runtime_error("Le serveur " + Host + " ne propose pas IDLE");
    RequireConnection();
    TOperationLimit Limit(*this, OperationTimeOut);
    const std::string Tag = NextTag();
    Writeln(Tag + " IDLE");
    for (;;) {
        const TImapResponse R = ReadResponse();
        if (R.Kind == TImapResponse::Continuation)
            break;
        if (R.Kind == TImapResponse::Tagged) {
            if (R.Tag != Tag) {
                CloseQuietly();
                throw EImapProtocolError("Réponse du serveur IMAP illisible : étiquette inattendue « " + R.Tag + " »");
            }
            RequireOk(R);
            throw std::runtime_error(Words(R));
        }
        Untagged(R);
    }
    FIdleTag = Tag;
    FIdling = true;
}

void TKTIMAP::PollIdle()
{
    if (!FIdling)
        return;
    if (!Connected() && ReceiveBuffer.Empty()) {
        FIdling = false;
        throw ESockError("Connexion perdue");
    }
    FReading = true;
    TFinally NotReading([this] { FReading = false; });
    try {
        // Only what is already here: a partial line waits for the next activity.
        while (FIdling && (ReceiveBuffer.HasLine() || ReceiveBuffer.Size() >= kPiece)) {
            bool Complete = false;
            FParser.Feed(ReadLnPart(kPiece, Complete));
            TImapResponse R;
            while (FParser.Next(R)) {
                if (R.Kind != TImapResponse::Untagged) {
                    CloseQuietly();
                    throw EImapProtocolError("Réponse du serveur IMAP illisible : « " + R.Line.substr(0, 80) + " »");
                }
                Untagged(R);
            }
        }
    } catch (const EImapProtocolError&) {
        CloseQuietly();
        FParser.Reset();
        throw;
    }
    if (FIdling && !Connected()) {
        FIdling = false;
        ReceiveBuffer.Clear();
        throw ESockError("Connexion perdue");
    }
}

void TKTIMAP::StopIdle()
{
    if (!FIdling)
        return;
    TOperationLimit Limit(*this, OperationTimeOut);
    FIdling = false;
    try {
        Writeln("DONE");
        RequireOk(WaitTagged(FIdleTag, {}));
    } catch (const ESockError&) {
        CloseQuietly();
        throw;
    }
}
