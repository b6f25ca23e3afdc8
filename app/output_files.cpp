#include "app/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <cerrno>
#include <cstring>

namespace kestrava {

std::string CsvField(const std::string& text) {
  const bool blankEdge = !text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                           text.front() == '\t' || text.back() == '\t');
  if (text.find_first_of(",\"\r\n") == std::string::npos && !blankEdge) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string SlicesCsv(const std::vector<TPieSlice>& slices) {
  std::string csv = "position,label,value\n";
  for (const TPieSlice& slice : slices) {
    csv += std::to_string(slice.Position);
    csv += ',';
    csv += CsvField(slice.Label);
    csv += ',';
    csv += slice.ValueText;
    csv += '\n';
  }
  return csv;
}

bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  // mkstemp creates the file private; the result is an ordinary readable file.
  fchmod(fd, 0644);

  const char* p = data.data();
  size_t left = data.size();
  int failure = 0;
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && rename(temp.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temp.c_str());
    error = path + ": " + std::strerror(failure);
    return false;
  }
  return true;
}

bool WritePngAtomically(const std::string& path, const QImage& image, std::string& error) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) {
    error = path + ": the chart could not be encoded as PNG";
    return false;
  }
  return WriteFileAtomically(path, std::string(png.constData(), static_cast<size_t>(png.size())),
                             error);
}

}  // namespace kestrava
