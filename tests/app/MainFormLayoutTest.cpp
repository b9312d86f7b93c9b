#include "app/MainForm.h"
#include "fakes/FakePlatform.h"

#include <QTabWidget>

#include <gtest/gtest.h>

namespace parlet {
namespace {

TEST(MainFormLayout, CaptionAndTabs) {
    fakes::FakePlatform fake;
    MainForm form(fake.platform);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Ombrix Configuration"));
    auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("tabs"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Download"));
    EXPECT_EQ(tabs->currentIndex(), 0);
}

} // namespace
} // namespace parlet
