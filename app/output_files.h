#pragma once
// The files a scripted run asks for after every chart feed: the chart as a PNG and the slices
// as CSV. Both are written atomically (a temporary file in the same folder, then a rename), so
// a reader sees either the previous file or the new one, never half of one.
// Thread: any.

#include <QImage>
#include <string>
#include <vector>

#include "engine/pie.h"

namespace kestrava {

// "position,label,value" and one line per slice in the given order. Numbers in plain decimal
// with "." and no thousands separator, every digit of the value kept; a label is quoted (quotes
// doubled) when it holds a comma, a quote, a line break or leading or trailing blanks.
std::string SlicesCsv(const std::vector<TPieSlice>& slices);
std::string CsvField(const std::string& text);

// Writes data to path through a temporary file beside it. On failure returns false, leaves
// any previous file untouched and sets error to the reason.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error);
// The image encoded as PNG, then written as above.
bool WritePngAtomically(const std::string& path, const QImage& image, std::string& error);

}  // namespace kestrava
