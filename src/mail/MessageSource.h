// TMessageSource: an outgoing message read as a stream, its attachment files encoded while it is
// read, so that sending takes the same small memory whatever the size of the files.
#pragma once

#include "mail/KTUUE.h"

#include <QFile>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

// A sequence of text pieces and files. Each file is encoded as the codec writes it (lines from 45
// bytes each, CR LF; uuencode ends with a line of one grave accent, and its lines that begin with
// "." are dot-stuffed). The exact size is known before reading, so the stream can be measured
// (seek to its end) and rewound (seek to its start), as SendStream does; nothing else is
// seekable. Files are opened by the caller and held until Clear.
class TMessageSource : public std::streambuf {
public:
    TMessageSource();
    ~TMessageSource() override;
    TMessageSource(const TMessageSource&) = delete;
    TMessageSource& operator=(const TMessageSource&) = delete;

    // Drops every piece and closes the files.
    void Clear();
    // Appends text (after the last piece).
    void AddText(const std::string& Text);
    // Puts text before everything else.
    void PrependText(const std::string& Text);
    // Appends a file of Size bytes (from its start), encoded with Method; Path names it in events
    // and errors.
    void AddFile(const std::string& Path, std::unique_ptr<QFile> File, std::int64_t Size, UUMethods Method);

    // Bytes the whole stream gives.
    std::int64_t Size() const;
    // Reads everything from the start (for small messages).
    std::string ReadAll();
    // The failure that ended reading early (a file that shrank or could not be read), else null.
    std::exception_ptr Failure() const { return FFailure; }

    // Size of Length bytes once encoded with Method, dot-stuffing included.
    static std::int64_t EncodedSize(std::int64_t Length, UUMethods Method);

    // Fired when encoding of a file starts and when it has ended, with its path.
    std::function<void(const std::string& Path)> OnFileStart;
    std::function<void(const std::string& Path)> OnFileEnd;

protected:
    int_type underflow() override;
    pos_type seekoff(off_type Off, std::ios_base::seekdir Dir, std::ios_base::openmode Which) override;
    pos_type seekpos(pos_type Pos, std::ios_base::openmode Which) override;

private:
    struct TPiece {
        std::string Text;              // a text piece, when File is null
        std::string Path;
        std::unique_ptr<QFile> File;
        std::int64_t FileSize = 0;
        UUMethods Method = uuMime;
    };

    bool Fill();
    void Rewind();
    void EncodeBlock(const char* Data, std::size_t Length, UUMethods Method);

    std::vector<TPiece> FPieces;
    std::size_t FIndex = 0;          // piece being read
    bool FStarted = false;           // the file of that piece has fired its start
    bool FTailDone = false;          // its closing uuencode line was given
    std::int64_t FFileLeft = 0;      // bytes of that file still to encode
    std::int64_t FDelivered = 0;     // bytes handed out before the current buffer
    std::vector<char> FRaw;          // file bytes of one block
    std::string FOut;                // encoded text of one block
    std::exception_ptr FFailure;
};
