// WireText: texts received from servers, shown in the window: UTF-8 when they are valid UTF-8,
// otherwise Windows-1252, never mangled bytes.
#include "app/WireText.h"
#include "mail/MailCharset.h"

QString WireText(const std::string& bytes)
{
    return TextFromBytes(bytes);
}

std::string ToWire(const QString& text)
{
    return text.toStdString();
}
