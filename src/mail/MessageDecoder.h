// TMessageDecoder: turns the lines of a received message into the TMailMessage record and the
// attachment files, walking the whole MIME tree in one pass.
#pragma once

#include "mail/KTUUE.h"
#include "mail/PartHeader.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class TMailMessage;

// Fed the message line by line (or in pieces of long lines), it fills Header, From, Subject,
// MessageId, Body (the shown text part, transfer-decoded), Files and Attachments (the files
// written) and the Body* fields, and writes each attachment straight into its file under
// AttachFilePath as its lines arrive:
// - every multipart level is walked (up to a depth limit; a deeper one is kept as a file);
// - a part with a file name, a "Content-Disposition: attachment" or a type other than text/plain
//   and text/html is written to a file; message/rfc822 parts are kept whole as ".eml" files;
// - the shown text is the first text/plain part, else the first text/html part; inside a
//   multipart/alternative the other versions are not written anywhere (an alternative whose
//   text is not the one shown keeps its first version as a file); other inline text parts are
//   written as files, so that nothing is lost;
// - every part starts from fresh state: no encoding means 7bit, no name means none;
// - a header block ends at an empty line, a line of blanks only, or the first line that is
//   neither a field nor a continuation, which is then the first line of the content;
// - files are created exclusively (an existing name or a planted link is never written through)
//   under a free name: the announced name decoded to UTF-8, made safe, cut to the file system's
//   limit keeping its extension, then "stem_N.ext" with N counted on per name (the stem cut so
//   that the counter never takes the name past the limit). A file that comes out identical to
//   one that was already in the folder under the same name or one of its numbered names (the
//   same message read again) is not kept twice: the existing file is named instead.
// File failures raise std::runtime_error with the program's French text; a file that could not be
// written whole is removed and never listed.
class TMessageDecoder {
public:
    using TReport = std::function<void(const std::string& Status)>;

    TMessageDecoder(TMailMessage& Message, std::string AttachFilePath, TReport Report);
    ~TMessageDecoder();
    TMessageDecoder(const TMessageDecoder&) = delete;
    TMessageDecoder& operator=(const TMessageDecoder&) = delete;

    // One line of the message with its line end (Complete), or a piece of a longer line;
    // LineStart is false for the later pieces of a line. Stuffed dots are already removed.
    void Feed(std::string_view Data, bool LineStart, bool Complete);
    // The message has ended: the open part is finished and Body completed.
    void Finish();

    // What the decoder last saw, for the component's state accessors.
    enum TPartMode : int { AttachmentPart = 0, BodyText = 1, TopHeader = 2 };
    const std::string& PartFileName() const { return FPartFileName; }
    const std::string& Boundary() const { return FBoundary; }
    const std::string& ContentType() const { return FContentType; }
    const std::string& TransferEncoding() const { return FTransferEncoding; }
    int PartMode() const { return FPartMode; }

    // Limits that keep memory bounded whatever the message holds.
    static constexpr std::size_t kHeaderLineCap = 8192;        // a longer header line is cut
    static constexpr std::size_t kFieldCap = 64 * 1024;        // one unfolded header field
    static constexpr std::size_t kHeaderBlockCap = 1 << 20;    // one header block
    static constexpr std::size_t kBodyCap = 8 << 20;           // shown text held in Body
    static constexpr int kMaxDepth = 16;                       // nested multipart levels

private:
    class TPartFile;
    class TQpDecoder;
    enum class TState { Header, Preamble, Content, Epilogue };
    enum class TEncoding { Plain, Base64, QuotedPrintable, UUencode };
    enum class TBodyKind { None, Html, Plain };
    struct TMultipart {
        std::string Boundary;
        bool Alternative = false;
        bool Digest = false;
        bool Used = false;   // an alternative whose text version was shown or kept
        int Id = 0;
    };

    void HeaderLine(std::string_view Data, bool LineStart, bool Complete);
    void EndField();
    // Reads the fields of the block; StartContent: then gets ready for what follows it.
    void EndHeader(bool StartContent = true);
    void StartLeaf(const std::string& Type, const mimepart::TFieldValue& Ct, const mimepart::TFieldValue& Disp);
    void ContentData(std::string_view Data, bool LineStart, bool Complete);
    void Deliver(const char* Data, std::size_t Size);
    void EndLeaf();
    // Index in FStack of the multipart whose delimiter Line is (-1 when none); Closing tells the
    // closing delimiter.
    int MatchBoundary(std::string_view Line, bool& Closing) const;
    void AtBoundary(int Index, bool Closing);
    // Creates the file of the current leaf part under a free name; Report: tell the user.
    void OpenFile(bool Report = true);
    // The name under which the closed File's bytes are kept: an existing identical file of the
    // same wanted name (the new copy removed), else File's own.
    std::string KeepOrReuse(const TPartFile& File);
    static constexpr int kReuseTries = 32;  // numbered names compared at most
    std::string DefaultName(const std::string& Type) const;
    std::size_t NameMax() const;
    void SpillBody();

    TMailMessage& FMessage;
    std::string FPath;
    TReport FReport;

    TState FState = TState::Header;
    bool FTopHeader = true;
    std::vector<TMultipart> FStack;
    int FNextId = 1;

    // Header block being read.
    std::vector<std::string> FFields;
    std::string FField;
    std::string FLine;            // the physical header line being gathered
    bool FLineCut = false;        // the rest of the current header line is discarded
    bool FFieldIsNew = false;     // the current physical line started a field
    std::size_t FBlockBytes = 0;

    // Leaf part being read.
    TEncoding FEncoding = TEncoding::Plain;
    bool FToBody = false;
    std::string FLeafType;
    std::string FLeafAnnounced;   // the part's name as announced, decoded
    std::unique_ptr<TPartFile> FFile;
    std::unique_ptr<TBase64Decoder> FBase64;
    std::unique_ptr<TQpDecoder> FQp;
    std::unique_ptr<TUUDecoder> FUU;
    std::string FUULine;
    std::string FBytes;           // scratch for decoded bytes

    // Shown text.
    TBodyKind FBodyKind = TBodyKind::None;
    int FBodyAlternative = -1;    // the alternative group the shown HTML came from
    std::string FBodyText;
    bool FBodyFull = false;

    std::map<std::string, int> FNextCounter;  // next "_N" to try, per wanted name
    std::set<std::string> FWritten;  // files this message named: each part has its own// files this message wrote (each part has its own)
    mutable std::size_t FNameMax = 0;

    std::string FPartFileName, FBoundary, FContentType, FTransferEncoding;
    int FPartMode = TopHeader;
};
