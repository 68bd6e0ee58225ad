// The start-up availability check against a real office, and without one.

#include "availability.h"
#include "lo_backend.h"
#include "support/scripted_modal.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace marigal;

namespace {
// Offices of ours still running, by their private pipe.
int OfficesRunning()
{
    QProcess pgrep;
    pgrep.start("pgrep", {"-f", "pipe,name=[m]arigal"});
    pgrep.waitForFinished();
    return int(pgrep.readAllStandardOutput().split('\n').count()) - 1;
}
}  // namespace

TEST(CheckWordInstance, WithTheOfficePresentLeavesNothingRunning)
{
    const int before = OfficesRunning();
    engine::LibreOfficeBackend backend;
    test::ScriptedModal modal;
    int ended = 0;
    CheckWordInstance(backend, modal, "Marigal", [&] { ++ended; });
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(OfficesRunning(), before);
}

TEST(CheckWordInstance, WithoutAnOfficeShowsTheMessageAndEnds)
{
    QTemporaryDir dir;
    engine::LibreOfficeOptions options;
    options.sofficePath = dir.filePath("no-office/soffice");
    engine::LibreOfficeBackend backend(options);
    test::ScriptedModal modal;
    int ended = 0;
    QElapsedTimer clock;
    clock.start();
    CheckWordInstance(backend, modal, "Marigal", [&] { ++ended; });
    EXPECT_LT(clock.elapsed(), 10000);  // a missing office is known at once, not after a time-out
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text, WordUnavailableMessage());
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
}
