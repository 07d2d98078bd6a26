// Text and pages from outside in the program's widgets: markup is shown as
// written, and a page's local resources are read only when they are small
// regular files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QUrl>
#include <fstream>

#include "core/gui/local_browser.h"
#include "core/gui/plain_text.h"

namespace pellary {
namespace {

constexpr const char* kHostile = "<img src=\"file:///dev/zero\"><b>Bank</b> holidays";

struct ResourceCase {
  const char* name;
  std::function<QString(const QString& dir)> make;  // the path the page names
  bool read;
};
void PrintTo(const ResourceCase& c, std::ostream* os) { *os << c.name; }

class LocalResources : public ::testing::TestWithParam<ResourceCase> {};

TEST_P(LocalResources, OnlySmallRegularFilesAreRead) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const ResourceCase& c = GetParam();
  const QString path = c.make(dir.path());
  LocalBrowser browser;
  QElapsedTimer t;
  t.start();
  QVariant got = browser.loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(path));
  EXPECT_LT(t.elapsed(), 2000) << "never waits on what it opened";
  EXPECT_EQ(got.toByteArray(), c.read ? QByteArray("GIF89a") : QByteArray());
  EXPECT_FALSE(got.isNull()) << "none would make the document read the file itself";
}

QString writeFile(const QString& dir, const char* name, const std::string& bytes) {
  QString path = dir + "/" + name;
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
  return path;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LocalResources,
    ::testing::Values(ResourceCase{"SmallFile", [](const QString& d) { return writeFile(d, "a.gif", "GIF89a"); }, true},
                      ResourceCase{"Device", [](const QString&) { return QString("/dev/zero"); }, false},
                      ResourceCase{"Fifo",
                                   [](const QString& d) {
                                     QString p = d + "/pipe.gif";
                                     ::mkfifo(p.toLocal8Bit().constData(), 0600);
                                     return p;
                                   },
                                   false},
                      ResourceCase{"Folder", [](const QString& d) { return d; }, false},
                      ResourceCase{"HugeSparseFile",
                                   [](const QString& d) {
                                     QString p = writeFile(d, "big.gif", "GIF89a");
                                     if (::truncate(p.toLocal8Bit().constData(), off_t(kMostResourceBytes) + 1) != 0)
                                       return QString();
                                     return p;
                                   },
                                   false}),
    [](const auto& info) { return std::string(info.param.name); });

// A server page naming a device is shown, and the device is never read.
TEST(LocalBrowserPage, PageNamingADeviceIsShownWithoutReadingIt) {
  QTemporaryDir dir;
  QString page = writeFile(dir.path(), "CallUpdate.htm",
                           "<html><body><p>Your update</p><img src=\"file:///dev/zero\">"
                           "<img src=\"pipe\"></body></html>");
  ::mkfifo((dir.path() + "/pipe").toLocal8Bit().constData(), 0600);
  LocalBrowser browser;
  QElapsedTimer t;
  t.start();
  browser.setSource(QUrl::fromLocalFile(page));
  browser.resize(300, 200);
  browser.show();
  QApplication::processEvents();
  EXPECT_LT(t.elapsed(), 3000);
  EXPECT_TRUE(browser.toPlainText().contains("Your update"));
}

TEST(PlainText, LabelsShowMarkupAsWritten) {
  showTextAsWritten(*qApp);
  QLabel any;  // no own setting: the application's rule holds
  any.setText(kHostile);
  any.show();
  QApplication::processEvents();
  EXPECT_EQ(any.textFormat(), Qt::PlainText);

  QLabel one;
  plainLabel(&one);
  EXPECT_EQ(one.textFormat(), Qt::PlainText);

  // A tip's own window keeps the markup plainTip escaped.
  QLabel tip(nullptr, Qt::ToolTip);
  tip.setText(plainTip(std::string("a & b")));
  tip.show();
  QApplication::processEvents();
  EXPECT_NE(tip.textFormat(), Qt::PlainText);
}

TEST(PlainText, TipsAreEscapedWithTheirLineBreaks) {
  QTextDocument shown;
  shown.setHtml(plainTip(std::string(kHostile) + "\nsecond line"));
  EXPECT_EQ(shown.toPlainText(), QString(kHostile) + "\nsecond line");
  EXPECT_FALSE(plainTip(std::string(kHostile)).contains("<img"));
  EXPECT_EQ(plainTip(QString()), QString());
}

}  // namespace
}  // namespace pellary
