// The designs carried by the program, and their way onto disk.

#include "cardgen/catalogue.h"
#include "common/errors.h"
#include "common/files.h"
#include "engine/fake/recording_fake.h"
#include "tests/support/temp_env.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace marigal;

namespace {
QString CommittedDesign(int id)
{
    return QStringLiteral(MARIGAL_SOURCE_DIR "/resources/designs/design%1.dot").arg(id);
}
}  // namespace

TEST(Catalogue, EachDesignIsItsResourceByteForByte)
{
    const int ids[kDesignCount] = {105, 101, 103, 104, 102, 106};
    for (int i = 0; i < kDesignCount; ++i) {
        ASSERT_EQ(DesignResourceId(i), ids[i]) << i;
        const QByteArray bytes = LoadResData(DesignResourceId(i), kDesignResourceType);
        EXPECT_EQ(bytes, test::ReadFile(CommittedDesign(ids[i]))) << i;
        EXPECT_TRUE(bytes.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))) << "not an OLE file: " << i;
    }
}

TEST(Catalogue, UnknownIndexesAndResourcesAreErrors)
{
    for (int bad : {-1, 6}) {
        try {
            DesignResourceId(bad);
            ADD_FAILURE() << bad;
        } catch (const AppError& e) {
            EXPECT_EQ(e.description(), apperr::kSubscriptOutOfRange);
        }
    }
    try {
        LoadResData(107, kDesignResourceType);
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.description(), "Resource with identifier '107' not found");
    }
}

TEST(Catalogue, TheWrittenTemplateIsTheChosenDesignWhateverWasThere)
{
    QTemporaryDir temp;
    ::chmod(QFile::encodeName(temp.path()).constData(), 0700);
    test::ScopedEnv env("TEMP", temp.path().toLocal8Bit());
    EXPECT_EQ(TemplatePath(), RunFolder() + "/template.dot");
    // A longer file left by another run, or planted, is replaced whole.
    test::WriteFile(TemplatePath(), QByteArray(8 * 1024 * 1024, 'x'));
    for (int i : {1, 0, 5}) {
        const QByteArray design = LoadResData(DesignResourceId(i), kDesignResourceType);
        WriteBytesToFile(design, TemplatePath());
        EXPECT_EQ(test::ReadFile(TemplatePath()), design) << i;
    }
}

TEST(Catalogue, TheTemplateIsOpenedReadOnly)
{
    engine::RecordingFake fake;
    engine::Object word = fake.create(engine::kWordProgId);
    OpenTemplate(word, "/work/template.dot");
    EXPECT_EQ(fake.calls().last(), "Documents.Open(&\"/work/template.dot\", ReadOnly:=True)");
}

TEST(Catalogue, DesignsAreNamedByIndexOrCaptionInAnyCase)
{
    struct Case { const char* name; int index; };
    for (const Case c : {Case{"yellow flower", 5}, Case{"  Yellow Flower ", 5}, Case{"HEARTS", 2}, Case{"3", 3},
                         Case{" 0 ", 0}, Case{"6", -1}, Case{"-1", -1}, Case{"", -1}, Case{"Flower", -1}}) {
        EXPECT_EQ(DesignNamed(c.name), c.index) << c.name;
    }
    EXPECT_EQ(DesignCaption(5), " Yellow Flower");
}
