#include <gtest/gtest.h>

#include <QImage>
#include <QListWidget>
#include <memory>

#include "brindle/file_dlg.h"
#include "brindle/resources.h"
#include "device_fixture.h"
#include "platform/settings/settings_tree.h"

namespace pellary::brindle {
namespace {

using namespace testing;
namespace st = platform::settings;
constexpr st::Root HKCR = st::Root::ClassesRoot;

// The suite's entries: a file-type icon by extension and one by UIDs.
class IconTableTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    iconFile_ = (root() / "agenda.png").string();
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(iconFile_)));
    st::writeValue(HKCR, "Tessel\\.agn", "", "Tessel.S3Agenda");
    st::writeValue(HKCR, "Tessel.S3Agenda\\DefaultIcon", "", iconFile_ + ",0");
    st::writeValue(HKCR, "Tessel\\{10000050,1000006D,10000084}", "", "Tessel.Agenda");
    st::writeValue(HKCR, "Tessel.Agenda\\DefaultIcon", "", iconFile_ + ",1");
    st::writeValue(HKCR, "Tessel\\Drive\\DefaultIcon", "", iconFile_ + ",2");
    st::writeValue(HKCR, "Tessel\\NotAType", "", "x");
    st::writeValue(HKCR, std::string(kDeviceClassKey), "", "My Tessel");
  }
  std::string iconFile_;
};

TEST_F(IconTableTest, KeysComeInTableOrderWithStandardIconsForWhatIsMissing) {
  const IconTable t = buildIconTable();
  EXPECT_EQ(t.keys, (std::vector<std::string>{"Psion", "Drive", "DirClosed", "DirOpen", "Unknown", ".agn",
                                              "{10000050,1000006D,10000084}"}));
  ASSERT_EQ(t.icons.size(), t.keys.size());
  for (const auto& icon : t.icons) EXPECT_FALSE(icon.isNull());
  EXPECT_EQ(t.icons[1].pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::red));
  EXPECT_NE(t.icons[0].pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::red));
  EXPECT_EQ(deviceDisplayName(), "My Tessel");
}

TEST_F(IconTableTest, FilesGetTheirTypeIconByNameOrByUids) {
  struct Case {
    int32_t deviceValue;
    const char* file;
    size_t image;
  } cases[] = {{16, "Psi3.agn", 5}, {16, "Agenda", 4}, {32, "Agenda", 6}, {32, "Psi3.agn", 4}};
  for (const auto& c : cases) {
    standins::tessel::setDeviceValue(c.deviceValue);
    CFileDlg dlg;
    dlg.Init(1, "t", "b", "C:\\Documents", 0);
    dlg.initialise();
    auto* list = dlg.findChild<QListWidget*>("lstFiles");
    ASSERT_TRUE(waitFor([&] { return !list->findItems(c.file, Qt::MatchExactly).isEmpty(); }));
    const QIcon shown = list->findItems(c.file, Qt::MatchExactly).front()->icon();
    EXPECT_EQ(shown.cacheKey(), dlg.icons().icon(c.image).cacheKey())
        << c.file << " with device value " << c.deviceValue;
    EXPECT_EQ(list->findItems("Letters", Qt::MatchExactly).front()->icon().cacheKey(), dlg.icons().icon(2).cacheKey());
  }
}

}  // namespace
}  // namespace pellary::brindle
