// Reading a list as spreadsheets write it, and what is refused before any
// card is made.

#include "batch/card_list.h"
#include "batch/csv.h"
#include "tests/support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

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

namespace {
// The usage error a list is refused with, or "(none)".
QString RefusalOf(const QString& path)
{
    try {
        ReadCardList(path, 150);
    } catch (const UsageError& e) {
        return e.text();
    }
    return "(none)";
}
}  // namespace

TEST(CardList, WhatCannotBeMadeIsRefusedBeforeAnyCard)
{
    QTemporaryDir dir;
    EXPECT_TRUE(RefusalOf(dir.filePath("none.csv")).startsWith("cannot read the list"));
    EXPECT_TRUE(RefusalOf(dir.path()).startsWith("cannot read the list"));
    EXPECT_TRUE(RefusalOf(test::WriteFile(dir.filePath("cols.csv"), "design,message,output\n0,a,b.doc\n"))
                    .contains("no column \"photo\""));
    EXPECT_TRUE(RefusalOf(test::WriteFile(dir.filePath("quote.csv"), "design,message,photo,output\n0,\"a,,b.doc\n"))
                    .contains("never ends"));
    // The same file from two rows, however it is written.
    EXPECT_EQ(RefusalOf(test::WriteFile(dir.filePath("dup.csv"),
                                    "design,message,photo,output,picture\n0,a,,x.doc,\n1,b,,./sub/../x.doc,\n")),
              QString("rows 2 and 3 both write %1").arg(dir.filePath("x.doc")));
    EXPECT_TRUE(RefusalOf(test::WriteFile(dir.filePath("self.csv"), "design,message,photo,output,pdf\n0,a,,x.doc,x.doc\n"))
                    .contains("row 2 writes"));
}

TEST(Csv, ListsAsEverySpreadsheetSavesThem)
{
    // The same two cards, saved as Europe's spreadsheets (semicolons), as
    // "Unicode text" (UTF-16 with tabs, either byte order), by an old Mac
    // (CR only), with a BOM and blanks before quotes, with cleared rows.
    const auto expectTwoCards = [](const QByteArray& bytes, const char* what) {
        SCOPED_TRACE(what);
        const QString text = DecodeCsv(bytes);
        const auto records = ParseCsv(text, FindDelimiter(text));
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].fields, (QStringList{"design", "message", "photo", "output"}));
        EXPECT_EQ(records[1].fields, (QStringList{"2", "Merci à bientôt, Ann", "", "a.doc"}));
        EXPECT_EQ(records[2].fields.value(3), "b.doc");
        EXPECT_EQ(records[2].line, 4);  // the file's line, past the cleared one
    };
    const QString semicolons = QString::fromUtf8("design;message;photo;output\n2;\"Merci à bientôt, Ann\";;a.doc\n;;;\n"
                                                 "Hearts;Bob;;b.doc\n");
    expectTwoCards(semicolons.toUtf8(), "semicolons");
    expectTwoCards("\xEF\xBB\xBF" + QString(semicolons).replace('\n', "\r\n").toUtf8(), "BOM, CR LF");
    expectTwoCards(QString(semicolons).replace('\n', '\r').toUtf8(), "CR only");
    QString tabs = QString(semicolons).replace(';', '\t');
    QByteArray le("\xFF\xFE"), be("\xFE\xFF");
    for (const QChar c : tabs) {
        le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }
    expectTwoCards(le, "UTF-16 LE, tabs");
    expectTwoCards(be, "UTF-16 BE, tabs");
    expectTwoCards(QString::fromUtf8("design,message,photo,output\n2,  \"Merci à bientôt, Ann\" ,,a.doc\n,,,\n"
                                     "Hearts,Bob,,b.doc\n").toUtf8(),
                   "blanks around a quoted field");
}

TEST(Csv, TextThatIsNotUtf8IsRefusedByLineUnlessItsEncodingIsNamed)
{
    const QByteArray latin1 = "design,message,photo,output\n2,Hello,,a.doc\n2,Merci \xE0 bient\xF4t,,b.doc\n";
    try {
        DecodeCsv(latin1);
        ADD_FAILURE() << "Latin-1 taken for UTF-8";
    } catch (const CsvError& e) {
        EXPECT_STREQ(e.what(), "line 3 is not UTF-8 text: save the list as CSV UTF-8, or give --encoding windows-1252");
    }
    EXPECT_TRUE(DecodeCsv(latin1, "windows-1252").contains(QString::fromUtf8("Merci à bientôt")));
    EXPECT_THROW(DecodeCsv(latin1, "no-such-encoding"), CsvError);
}

TEST(CardList, AListWithoutCardsAndTwoNamesOfOneFileAreRefused)
{
    QTemporaryDir dir;
    EXPECT_EQ(RefusalOf(test::WriteFile(dir.filePath("guests.csv"), "design,message,photo,output\n,,,\n")),
              "no cards in guests.csv");
    // The same file reached through a linked folder.
    QDir(dir.path()).mkdir("cards");
    ASSERT_TRUE(QFile::link(dir.filePath("cards"), dir.filePath("linked")));
    EXPECT_EQ(RefusalOf(test::WriteFile(dir.filePath("two.csv"), "design,message,photo,output\n0,a,,cards/x.doc\n"
                                                             "1,b,,linked/x.doc\n")),
              QString("rows 2 and 3 both write %1").arg(dir.filePath("linked/x.doc")));
}

TEST(CardList, ShardsTogetherMakeEveryCardOnce)
{
    std::vector<CardOrder> cards(23);
    for (size_t i = 0; i < cards.size(); ++i) cards[i].row = int(i) + 2;
    for (const int n : {1, 3, 7, 30}) {
        std::vector<int> made;
        for (int k = 1; k <= n; ++k)
            for (const CardOrder& c : Shard(cards, k, n)) made.push_back(c.row);
        std::sort(made.begin(), made.end());
        std::vector<int> all;
        for (const CardOrder& c : cards) all.push_back(c.row);
        EXPECT_EQ(made, all) << n;
    }
    // The rule the README states: the list's I-th card to shard ((I - 1) mod N) + 1.
    EXPECT_EQ(Shard(cards, 2, 3).front().row, 3);
}
