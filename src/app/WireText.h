// WireText: texts received from servers, shown in the window: UTF-8 when they are valid UTF-8,
// otherwise Windows-1252, never mangled bytes.
#pragma once
#include <QString>
#include <string>

QString WireText(const std::string& bytes);
// The program's own texts on the wire (typed by the user): UTF-8.
std::string ToWire(const QString& text);
