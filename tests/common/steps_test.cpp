// The numbered-step handlers, their error box, and the small start-up rules.

#include "common/config.h"
#include "common/errors.h"
#include "common/modal.h"
#include "common/startup.h"
#include "common/steps.h"
#include "common/widgets/pointer.h"
#include "engine/engine_error.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace marigal;

TEST(ErrorBox, TextReadsAsSupportExpectsIt)
{
    EXPECT_EQ(ErrorBoxText("Type mismatch", "Form1", "Form_Load", 132),
              "Type mismatch\nin Pendrel2021/08/31.Form1.Form_Load at line 132\n\n"
              "Please email screenshot of this message to " +
                  config::kSupportAddress);
}

TEST(Steps, AFailingStepIsReportedAndTheHandlerGoesOn)
{
    test::ScriptedModal modal;
    Steps s(modal, "Form1", "PushButton6_Click");
    std::vector<int> ran;
    EXPECT_TRUE(s(100, [&] { ran.push_back(100); }));
    EXPECT_FALSE(s(102, [&] { throw AppError(apperr::kInvalidPicture); }));
    EXPECT_FALSE(s(104, [&] { throw engine::EngineError(QStringLiteral("Élément « Text Box 9 » introuvable")); }));
    EXPECT_FALSE(s(106, [&] { throw 42; }));
    EXPECT_TRUE(s(108, [&] { ran.push_back(108); }));

    EXPECT_EQ(ran, (std::vector<int>{100, 108}));
    ASSERT_EQ(modal.messages.size(), 3u);
    for (const auto& m : modal.messages) {
        EXPECT_EQ(m.caption, "Application Error");
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
        EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    }
    EXPECT_TRUE(modal.messages[0].text.startsWith("Invalid picture\nin Pendrel2021/08/31.Form1.PushButton6_Click at line 102\n"));
    // A description in any language survives the trip through the exception.
    EXPECT_TRUE(modal.messages[1].text.startsWith(QStringLiteral("Élément « Text Box 9 » introuvable\n")));
    EXPECT_TRUE(modal.messages[1].text.contains("at line 104"));
    EXPECT_TRUE(modal.messages[2].text.startsWith(apperr::kUnknown + "\n"));
}

TEST(CIntText, ReadsStoredNumbersAsThePlatformDoes)
{
    EXPECT_EQ(CIntText("0"), 0);
    EXPECT_EQ(CIntText(" 5 "), 5);
    EXPECT_EQ(CIntText("-1"), -1);
    EXPECT_EQ(CIntText("2.5"), 2);  // half to even
    EXPECT_EQ(CIntText("3.5"), 4);
    EXPECT_EQ(CIntText("32767"), 32767);
    for (const char* bad : {"x", "", " ", "1x", "nan", "inf"}) {
        try {
            CIntText(bad);
            ADD_FAILURE() << bad;
        } catch (const AppError& e) {
            EXPECT_EQ(e.description(), apperr::kTypeMismatch) << bad;
        }
    }
    try {
        CIntText("40000");
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.description(), apperr::kOverflow);
    }
}

TEST(ApplicationTitle, CutsAtBlanksButKeepsAWordWhole)
{
    EXPECT_EQ(ApplicationTitle("Marigal"), "Marigal");  // no blank to cut at
    EXPECT_EQ(ApplicationTitle("Marigal Cards"), "Marigal");  // cut at least once
    EXPECT_EQ(ApplicationTitle("Marigal photo greeting cards for the whole family and friends"),
              "Marigal photo greeting cards for the");
    EXPECT_EQ(ApplicationTitle(""), "");
}

TEST(MaybeOpenMakerSite, OpensTheSiteForExactlyOneDrawInAHundred)
{
    QStringList opened;
    for (int n = 1; n <= 100; ++n)
        MaybeOpenMakerSite([n] { return n; }, [&](const QString& url) { opened << url; });
    EXPECT_EQ(opened, QStringList{config::kMakerSite});
    for (int i = 0; i < 1000; ++i) {
        const int n = DrawOneToHundred();
        ASSERT_GE(n, 1);
        ASSERT_LE(n, 100);
    }
}

TEST(DialogNameFilters, KeepTheDescriptionAndMatchUpperCaseNames)
{
    const QStringList filters =
        DialogNameFilters("Supported Pictures (*.jpg;*.bmp;*.jpeg)|*.jpg;*.bmp;*.jpeg|");
    ASSERT_EQ(filters.size(), 1);
    EXPECT_EQ(filters[0], "Supported Pictures (*.jpg;*.bmp;*.jpeg) (*.jpg *.JPG *.bmp *.BMP *.jpeg *.JPEG)");
    EXPECT_EQ(DialogNameFilters("Word Files (*.doc)|*.doc"), QStringList{"Word Files (*.doc) (*.doc *.DOC)"});
}

TEST(PointerRule, HandOverButtonsDefaultElsewhereHourglassStays)
{
    using P = MousePointer;
    EXPECT_EQ(PointerOverButton(P::Default), P::Custom);
    EXPECT_EQ(PointerOverButton(P::Custom), P::Custom);
    EXPECT_EQ(PointerOverButton(P::Hourglass), P::Hourglass);
    EXPECT_EQ(PointerOverBackground(P::Custom), P::Default);
    EXPECT_EQ(PointerOverBackground(P::Hourglass), P::Hourglass);
    EXPECT_EQ(CursorFor(P::Custom, std::nullopt).shape(), Qt::PointingHandCursor);
    EXPECT_EQ(CursorFor(P::Hourglass, std::nullopt).shape(), Qt::WaitCursor);
    EXPECT_EQ(CursorFor(P::Default, std::nullopt).shape(), Qt::ArrowCursor);
}

TEST(CursorFile, RoundTripsImageAndHotSpot)
{
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(Qt::transparent);
    QPainter(&hand).fillRect(8, 2, 10, 20, QColor(250, 220, 180));
    QTemporaryDir dir;
    const QString path = test::WriteFile(dir.filePath("HAND-M.CUR"), EncodeCursorFile(hand, QPoint(9, 3)));
    const QCursor cursor = LoadCursorFile(path);
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(9, 3));
    const QImage back = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(back.size(), QSize(32, 32));
    EXPECT_EQ(back.pixel(10, 10), hand.pixel(10, 10));
    EXPECT_EQ(qAlpha(back.pixel(0, 0)), 0);
}

TEST(CursorFile, AnythingElseIsAnInvalidPicture)
{
    QTemporaryDir dir;
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    QByteArray asIcon = EncodeCursorFile(icon, QPoint(0, 0));
    asIcon[2] = 1;  // an icon, not a cursor
    QByteArray truncated = EncodeCursorFile(icon, QPoint(0, 0)).left(60);
    for (const QByteArray& bytes : {QByteArray("not a cursor at all, just text"), asIcon, truncated, QByteArray()}) {
        const QString path = test::WriteFile(dir.filePath("bad.cur"), bytes);
        try {
            LoadCursorFile(path);
            ADD_FAILURE() << bytes.size();
        } catch (const AppError& e) {
            EXPECT_EQ(e.description(), apperr::kInvalidPicture);
        }
    }
}
