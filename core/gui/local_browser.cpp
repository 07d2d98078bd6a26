#include "core/gui/local_browser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QUrl>

namespace pellary {

bool readLocalResource(const QString& path, QByteArray& bytes) {
  bytes.clear();
  // Opened without waiting on a FIFO's writer, then checked on what was
  // opened, so that nothing swapped in between is read.
  int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMostResourceBytes;
  if (ok) {
    bytes.resize(qsizetype(st.st_size));
    qsizetype got = 0;
    while (got < bytes.size()) {
      ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += n;
    }
    bytes.resize(got);
  }
  ::close(fd);
  return ok;
}

QVariant LocalBrowser::loadResource(int type, const QUrl& name) {
  QUrl url = name;
  if (url.isRelative() && source().isValid()) url = source().resolved(name);
  // A refusal is an empty resource, not none: on none the document would
  // read the file itself.
  const QVariant refused = QVariant(QByteArray());
  if (!url.isLocalFile()) return refused;
  QByteArray bytes;
  if (!readLocalResource(url.toLocalFile(), bytes)) return refused;
  (void)type;  // the browser decodes the bytes as it would its own read's
  return bytes;
}

}  // namespace pellary
