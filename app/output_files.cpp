#include "app/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <cerrno>
#include <cstring>
#include <random>

namespace kestrava {

namespace {

// Appends a field as CSV has it: quoted (inner quotes doubled) when it holds a separator, a
// quote or a line break, or starts or ends with a blank.
void AppendCsvField(std::string& out, const std::string& text) {
  const bool blankEdge = !text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                           text.front() == '\t' || text.back() == '\t');
  if (text.find_first_of(",\"\r\n") == std::string::npos && !blankEdge) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string CsvField(const std::string& text) {
  std::string field;
  AppendCsvField(field, text);
  return field;
}

std::string SlicesCsv(const std::vector<TPieSlice>& slices) {
  std::string csv = "position,label,value\n";
  // One allocation for the whole file, however many slices: a 5,000-row pie is written at
  // every poll.
  size_t size = csv.size();
  for (const TPieSlice& slice : slices) size += slice.Label.size() + slice.ValueText.size() + 16;
  csv.reserve(size);
  for (const TPieSlice& slice : slices) {
    csv += std::to_string(slice.Position);
    csv += ',';
    AppendCsvField(csv, slice.Label);
    csv += ',';
    csv += slice.ValueText;
    csv += '\n';
  }
  return csv;
}

namespace {

constexpr int kMaxLinks = 40;  // the kernel's own limit on the links of one path

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

const char* KindOf(mode_t mode) {
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "something else";
}

// The kernel's rule for links (fs.protected_symlinks), which resolving links by hand would
// otherwise side-step: in a world-writable sticky folder such as /tmp a link is followed only
// when it belongs to the user who follows it or to the folder's owner. Nobody can then plant
// a link there that leads another user's run, root's included, into that user's files.
bool MayFollowLink(const std::string& link, const struct stat& linkStat) {
  if (linkStat.st_uid == geteuid()) return true;
  struct stat folder {};
  if (stat(FolderOf(link).c_str(), &folder) != 0) return false;
  if ((folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
  return folder.st_uid == linkStat.st_uid;
}

// What is written for path: the name its links lead to, whether a file is already there, and
// that file's mode. False, with the reason, for anything but a regular file or nothing.
struct TOutputTarget {
  std::string Name;
  bool Exists = false;
  mode_t Mode = 0;
};

bool ResolveOutputPath(const std::string& path, TOutputTarget& target, std::string& error) {
  std::string current = path;
  for (int links = 0;; ++links) {
    const std::string through = current == path ? "" : " (the link leads to " + current + ")";
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        error = path + ": " + std::strerror(errno) + through;
        return false;
      }
      // Nothing there yet: it is made in its folder, which must be there.
      struct stat folder {};
      if (stat(FolderOf(current).c_str(), &folder) != 0) {
        error = path + ": " + std::strerror(errno) + through;
        return false;
      }
      if (!S_ISDIR(folder.st_mode)) {
        error = path + ": " + std::strerror(ENOTDIR) + through;
        return false;
      }
      target = TOutputTarget{current, false, 0};
      return true;
    }
    if (S_ISLNK(st.st_mode)) {
      if (links == kMaxLinks) {
        error = path + ": " + std::strerror(ELOOP);
        return false;
      }
      if (!MayFollowLink(current, st)) {
        error = path + ": " + std::strerror(EACCES) + ": the link " + current +
                " belongs to another user in a world-writable sticky folder and is not followed";
        return false;
      }
      std::string link(static_cast<size_t>(st.st_size) + 256, '\0');
      const ssize_t n = readlink(current.c_str(), link.data(), link.size());
      if (n < 0) {
        error = path + ": " + std::strerror(errno) + through;
        return false;
      }
      link.resize(static_cast<size_t>(n));
      current = link.front() == '/' ? link : FolderOf(current) + "/" + link;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      error = path + ": " + std::strerror(EISDIR) + through;
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      error = path + ": Is " + KindOf(st.st_mode) + ", not a regular file" + through;
      return false;
    }
    target = TOutputTarget{current, true, static_cast<mode_t>(st.st_mode & 07777)};
    return true;
  }
}

// A new file beside `beside`, made with mode 0666 less the umask, as any program makes files.
// mkstemp would make it 0600 and leave only a guess at the umask to mend it.
int CreateTemporary(const std::string& beside, std::string& temp) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = beside + ".";
    for (int i = 0; i < 6; ++i) temp += kLetters[pick(random)];
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

bool CheckOutputPath(const std::string& path, std::string& error) {
  TOutputTarget target;
  return ResolveOutputPath(path, target, error);
}

bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error) {
  // Checked again at every write: the path may have changed since the start.
  TOutputTarget target;
  if (!ResolveOutputPath(path, target, error)) return false;
  std::string temp;
  const int fd = CreateTemporary(target.Name, temp);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }

  int failure = 0;
  // A replaced file keeps the mode its owner gave it.
  if (target.Exists && fchmod(fd, target.Mode) != 0) failure = errno;
  const char* p = data.data();
  size_t left = data.size();
  while (failure == 0 && left > 0) {
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
  if (failure == 0 && rename(temp.c_str(), target.Name.c_str()) != 0) failure = errno;
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
