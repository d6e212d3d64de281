#pragma once

#include <QStringList>
#include <QTranslator>

#include <string>

namespace sqs {

// Words the toolkit's Japanese translation lacks (the file dialog's
// "Folder" in its type column), given in Japanese.
class MissingToolkitWords : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};

// Of the font families installed, the one to draw Japanese in (empty: none made for it).
QString japaneseFamily(const QStringList& installed);

// The toolkit's own dialogs (the file dialog, the standard buttons) speak
// Japanese, as the program does, whatever $LANG is: Qt's translation and
// the words it lacks. So do the system's reasons for a fault ("No such file
// or directory") where the Japanese locale is installed. Japanese text is
// drawn in a Japanese font where one is installed. Made after the
// QApplication, before any thread, kept while it runs.
class JapaneseToolkit {
public:
    JapaneseToolkit();
    ~JapaneseToolkit();
    JapaneseToolkit(const JapaneseToolkit&) = delete;
    JapaneseToolkit& operator=(const JapaneseToolkit&) = delete;

private:
    QTranslator qt_;
    MissingToolkitWords missing_;
    std::string messages_;   // the locale's messages before, given back at the end
    QStringList substituted_;   // the font families given a Japanese substitute
};

}  // namespace sqs
