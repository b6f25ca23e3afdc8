#pragma once
// The files a scripted run asks for after every chart feed: the chart as a PNG and the slices
// as CSV. Both are written atomically (a temporary file in the same folder, then a rename), so
// a reader sees either the previous file or the new one, never half of one. A symbolic link is
// followed and the file it leads to is replaced in its own folder; only a regular file, or a
// name where nothing is yet, is ever replaced. A new file gets the umask's mode, a replaced one
// keeps its mode.
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

// Whether path may be written: it names a regular file or nothing (in an existing folder),
// directly or through symbolic links. Otherwise false, with the reason in error
// ("<path>: Is a character device, not a regular file").
bool CheckOutputPath(const std::string& path, std::string& error);

// Writes data to path (or the file its links lead to) through a temporary file beside it. On
// failure returns false, leaves any previous file untouched and sets error to the reason.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error);
// The image encoded as PNG, then written as above.
bool WritePngAtomically(const std::string& path, const QImage& image, std::string& error);

}  // namespace kestrava
