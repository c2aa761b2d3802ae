// HtmlText: an HTML mail body as plain text, without loading anything it refers to.
#pragma once

#include <QString>

// The text of an HTML document as the reader shows it: one line per paragraph, an empty line
// between spaced paragraphs, list items marked, a link followed by its address when its text does
// not already show it. Images and other referenced resources are never loaded: not from the
// network, not from files.
QString HtmlToText(const QString& html);
