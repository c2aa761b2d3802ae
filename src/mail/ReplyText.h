// ReplyText: the fields of an answer to a received message: recipients, subject, the identifiers
// that thread it, and the quoted original text.
#pragma once

#include <QString>
#include <string>

class TMailMessage;

// "Re: " followed by the subject, unless the subject already starts with "Re:" (any letter case,
// blanks allowed before the colon).
QString ReplySubject(const QString& subject);

// Every line of a text quoted with "> " (an empty line with ">" alone).
QString QuoteText(const QString& text);

// The first identifier in angle brackets of a Message-ID (or In-Reply-To) value, brackets
// included; empty when there is none.
std::string MessageIdOf(const std::string& value);

// The References of an answer: the original's References (or, without them, the one identifier of
// its In-Reply-To) followed by its Message-ID, separated by blanks. Long chains keep their first
// identifier and the latest ones. Empty when the original has no Message-ID.
std::string ReplyReferences(const std::string& references, const std::string& inReplyTo, const std::string& messageId);

struct TReply {
    QString To;             // the addresses to answer: Reply-To when the message has one, else From
    QString Subject;
    std::string InReplyTo;  // the original's Message-ID, angle brackets included
    std::string References;
    QString Body;           // who wrote, then the original text quoted
};

// The answer to a message whose body shows as bodyText.
TReply MakeReply(const TMailMessage& original, const QString& bodyText);
