#include "views/AboutView.h"

#include "state/AppState.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

using namespace tarnwick;

TEST(AboutView, VersionLineFallsBackForMissingOrNonTextValues) {
    const QString suffix = QStringLiteral(" \u00B7 com.merrowfield4.tarnwick");
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", "2.3"}, {"buildNumber", "57"}}),
              "Version 2.3 (57)" + suffix);
    EXPECT_EQ(AboutView::versionLine(QVariantMap()), "Version 1.0 (1)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", "2.3"}, {"buildNumber", 57}}), "Version 2.3 (1)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", 2.3}, {"buildNumber", "8"}}), "Version 1.0 (8)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"buildNumber", "9"}, {"other", "x"}}), "Version 1.0 (9)" + suffix);

    // This build's line carries the version and build number it was made with.
    EXPECT_EQ(AboutView::versionLine(),
              QStringLiteral("Version " TARNWICK_VERSION " (" TARNWICK_BUILD_NUMBER ")") + suffix);
}

TEST(AboutView, ShowsItsContentAndCloses) {
    test::FakeEnvironment environment;
    AppState state(test::testServices());
    state.setShowAbout(true);
    AboutView sheet(state);
    sheet.resize(800, 600);
    sheet.show();

    QStringList texts;
    for (QLabel* label : sheet.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Tarnwick"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Reclaim your Mac \u2014 map, clean, protect.")));
    EXPECT_TRUE(texts.contains(AboutView::versionLine()));
    EXPECT_EQ(sheet.card()->width(), 360);

    QStringList buttons;
    for (QPushButton* button : sheet.findChildren<QPushButton*>()) buttons << button->text();
    EXPECT_EQ(buttons, QStringList({"Website", "Close"}));
    for (QPushButton* button : sheet.findChildren<QPushButton*>()) {
        if (button->text() == "Close") button->click();
    }
    EXPECT_FALSE(state.showAbout());

    state.setShowAbout(true);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&sheet, &escape);
    EXPECT_FALSE(state.showAbout());
}
