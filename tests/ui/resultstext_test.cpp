// Records through the results pane and back: Save must give their exact bytes.
#include "ui/resultstext.h"
#include "uitest.h"

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

/// Records appended to a real pane, as the Batch tab appends them, then saved.
std::string throughThePane(const std::vector<std::string>& records, int* blocks = nullptr)
{
    QPlainTextEdit pane;
    for (const std::string& r : records)
        pane.appendPlainText(paneTextFromRecord(r));
    if (blocks)
        *blocks = pane.document()->blockCount();
    return savedBytesFromPaneText(pane.document()->toRawText());
}

} // namespace

TEST(ResultsText, EveryRecordComesBackByteForByte)
{
    std::vector<std::string> records = {
        "\"plain\",\"ascii\"",
        "",
        "\"caf\xE9\",\"caf\xE8\",\"\xFF\xFE\",\"\xC3\"",                  // not UTF-8: bytes of names
        "\"\xED\xB0\x80\xED\xA0\x80\",\"\xF4\x90\x80\x80\",\"\xC0\xAF\"", // surrogates, past U+10FFFF, overlong
        "\"\xE2\x80\xA9\",\"\xEF\xB7\x90\xEF\xB7\x91\",\"\xE2\x80\xA8\"", // what the document breaks at, and U+2028
        "\"a\nb\",\"c\rd\",\"e\n\rf\",\"g\r\r\nh\"",                      // bare breaks of names
        "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0\xEF\xBF\xBC\xEF\xBB\xBF\"", // real characters stay
        std::string("\"nul\0inside\"", 13),
        "\"\xF0\x9F\x98\"", // a sequence cut short
    };
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte.push_back(static_cast<char>(b));
    records.push_back(everyByte);

    std::string expected;
    for (const std::string& r : records)
        expected += r + "\r\n";
    int blocks = 0;
    const std::string saved = throughThePane(records, &blocks);
    EXPECT_EQ(saved, expected);
    // The pane breaks only at the record ends and at the one CR LF inside "g\r\r\nh".
    EXPECT_EQ(blocks, static_cast<int>(records.size()) + 1);

    // A value's CR LF is shown as a break, and saved as one.
    EXPECT_EQ(throughThePane({"\"one\r\ntwo\",\"x\""}, &blocks), "\"one\r\ntwo\",\"x\"\r\n");
    EXPECT_EQ(blocks, 2);

    // U+2028 in a name would break its line on screen: it is stood in for, and saved as itself.
    QPlainTextEdit pane;
    pane.appendPlainText(paneTextFromRecord("\"line\xE2\x80\xA8separator.tif\",\"x\""));
    const QTextBlock block = pane.document()->firstBlock();
    pane.document()->documentLayout()->blockBoundingRect(block); // lays the block out
    EXPECT_EQ(block.layout()->lineCount(), 1);
    EXPECT_EQ(savedBytesFromPaneText(pane.document()->toRawText()), "\"line\xE2\x80\xA8separator.tif\",\"x\"\r\n");

    // Typed text: a break at the very end adds no line; a lone surrogate has no byte.
    EXPECT_EQ(savedBytesFromPaneText(QStringLiteral("x\u2029y\u2029")), "x\r\ny\r\n");
    EXPECT_EQ(savedBytesFromPaneText(QString(QChar(0xD800)) + QLatin1Char('x')), "\xEF\xBF\xBDx\r\n");
}
