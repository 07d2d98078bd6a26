// Text from the databank, a server or a file is shown as it is written: Qt
// would otherwise guess markup in a label, a message box or a tip, and load
// what an <img> names.
#pragma once

#include <QString>
#include <string>

class QApplication;
class QLabel;

namespace pellary {

// A tip's text that Qt shows as written (escaped, its line breaks kept).
QString plainTip(const QString& text);
QString plainTip(const std::string& text);

// Makes every label of the application plain text from its first showing on
// (the program has no label meant as markup). Tips are set with plainTip.
void showTextAsWritten(QApplication& app);

// The same for one label, at once.
void plainLabel(QLabel* label);

}  // namespace pellary
