// A text browser for pages a server wrote: it reads a local resource (the
// page itself, an image, a style sheet) only when it is a regular file of at
// most kMostResourceBytes. A device, a FIFO, a folder or a huge file is
// refused without a byte read; anything not local is never fetched.
#pragma once

#include <QTextBrowser>
#include <cstdint>

namespace pellary {

inline constexpr int64_t kMostResourceBytes = int64_t(16) << 20;

class LocalBrowser : public QTextBrowser {
 public:
  explicit LocalBrowser(QWidget* parent = nullptr) : QTextBrowser(parent) {}
  QVariant loadResource(int type, const QUrl& name) override;
};

// The bytes of a local file a page may show; empty when it is not a regular
// file of at most kMostResourceBytes (then nothing of it was read).
bool readLocalResource(const QString& path, QByteArray& bytes);

}  // namespace pellary
