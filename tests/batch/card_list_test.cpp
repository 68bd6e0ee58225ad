// Reading a list as spreadsheets write it, and what is refused before any
// card is made.

#include "card_list.h"
#include "csv.h"
#include "support/temp_env.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace marigal;
using namespace marigal::batch;

TEST(Csv, ReadsWhatSpreadsheetsWrite)
{
    // A byte-order mark, CRLF, a quoted field holding a comma, doubled quotes
    // and a line break, an empty field, a blank line, no final line break.
    const QByteArray text = "\xEF\xBB\xBF" "a,b,c\r\n"
                            "\"Dear Ann, hi\",\"say \"\"hi\"\"\",\r\n"
                            "\r\n"
                            "\"two\r\nlines\",x,\"\"\n"
                            "last,row,end";
    const auto records = ParseCsv(DecodeCsv(text), u',');
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].fields, (QStringList{"a", "b", "c"}));
    EXPECT_EQ(records[1].fields, (QStringList{"Dear Ann, hi", "say \"hi\"", ""}));
    EXPECT_EQ(records[2].fields, (QStringList{"two\r\nlines", "x", ""}));
    EXPECT_EQ(records[2].line, 4);
    EXPECT_EQ(records[3].fields, (QStringList{"last", "row", "end"}));
    EXPECT_EQ(records[3].line, 6);

    for (const QByteArray bad : {QByteArray("a,\"never ends\nb,c\n"), QByteArray("a,b\"c\n"), QByteArray("\"a\"b,c\n")})
        EXPECT_THROW(ParseCsv(DecodeCsv(bad), u','), CsvError) << bad.toStdString();
}

TEST(CardList, PathsFromTheListsFolderAndRowsNumberedAsInTheSheet)
{
    QTemporaryDir dir;
    const QString list = test::WriteFile(dir.filePath("guests.csv"),
                                         "Output,Design,Message,Photo,PDF\n"
                                         "cards/ann.doc, yellow flower ,\"Dear Ann,\r\nthanks\",photos/ann.jpg,\n"
                                         "/elsewhere/bob.doc,7,Bob,,bob.pdf\n"
                                         ",Hearts,Carl,,\n");
    const auto cards = ReadCardList(list, 96);
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(cards[0].row, 2);
    EXPECT_EQ(cards[0].design, 5);
    EXPECT_EQ(cards[0].message, QString::fromUtf16(u"Dear Ann,\u000bthanks"));  // one line break, Word's
    EXPECT_EQ(cards[0].output, dir.filePath("cards/ann.doc"));
    EXPECT_EQ(cards[0].photo, dir.filePath("photos/ann.jpg"));
    EXPECT_EQ(cards[0].dpi, 96);
    EXPECT_TRUE(cards[0].problem.isEmpty());
    EXPECT_EQ(cards[1].output, "/elsewhere/bob.doc");
    EXPECT_EQ(cards[1].pdf, dir.filePath("bob.pdf"));
    EXPECT_TRUE(cards[1].problem.contains("no design \"7\"")) << cards[1].problem.toStdString();
    EXPECT_FALSE(cards[2].problem.isEmpty());  // no output
}

TEST(CardList, WhatCannotBeMadeIsRefusedBeforeAnyCard)
{
    QTemporaryDir dir;
    const auto error = [](const QString& path) -> QString {
        try {
            ReadCardList(path, 150);
        } catch (const UsageError& e) {
            return e.text();
        }
        return "(none)";
    };
    EXPECT_TRUE(error(dir.filePath("none.csv")).startsWith("cannot read the list"));
    EXPECT_TRUE(error(dir.path()).startsWith("cannot read the list"));
    EXPECT_TRUE(error(test::WriteFile(dir.filePath("cols.csv"), "design,message,output\n0,a,b.doc\n"))
                    .contains("no column \"photo\""));
    EXPECT_TRUE(error(test::WriteFile(dir.filePath("quote.csv"), "design,message,photo,output\n0,\"a,,b.doc\n"))
                    .contains("never ends"));
    // The same file from two rows, however it is written.
    EXPECT_EQ(error(test::WriteFile(dir.filePath("dup.csv"),
                                    "design,message,photo,output,picture\n0,a,,x.doc,\n1,b,,./sub/../x.doc,\n")),
              QString("rows 2 and 3 both write %1").arg(dir.filePath("x.doc")));
    EXPECT_TRUE(error(test::WriteFile(dir.filePath("self.csv"), "design,message,photo,output,pdf\n0,a,,x.doc,x.doc\n"))
                    .contains("row 2 writes"));
}
