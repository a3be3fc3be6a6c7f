#include "views/health/ProtectionView.h"

#include "design/TaldoButton.h"
#include "services/store/RevealService.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/common/ElidedLabel.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/PlainButton.h"
#include "views/common/SegmentedPicker.h"
#include "views/health/PrivacyRow.h"
#include "views/health/ThreatRow.h"

#include "views/cleanup/FindingsScreenTestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLabel>

using namespace tarnwick;

namespace {

using Kind = ProtectionFinding::Kind;
using Severity = ProtectionFinding::Severity;

using test::residue;
using test::threat;

// The Protection screen over finders the test holds.
class ProtectionViewTest : public test::TwoListScreenTest<ProtectionView, ProtectionFinding, PrivacyItem> {
protected:
    ProtectionViewTest()
        : TwoListScreenTest({&ModuleServices::protectionScan, &AppState::isProtectionScanning,
                             QStringLiteral("Checking adware locations\u2026")},
                            {&ModuleServices::privacyScan, &AppState::isPrivacyScanning,
                             QStringLiteral("Scanning browser residue\u2026")}) {}
    test::HeldFinders<ProtectionFinding>& threatFinders = first;
    test::HeldFinders<PrivacyItem>& privacyFinders = second;
};

TEST_F(ProtectionViewTest, ShowingStartsEachScanOnceAndEachTabFollowsItsOwn) {
    // Opening the section starts the scans just before the screen shows.
    state->openSection(AppSection::protection);
    view->show();
    ASSERT_TRUE(threatFinders.waitFor(0));
    ASSERT_TRUE(privacyFinders.waitFor(0));
    test::spin(20);
    EXPECT_EQ(threatFinders.count(), 1u) << "a first visit scans once";
    EXPECT_EQ(privacyFinders.count(), 1u);
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning);
    ASSERT_TRUE(test::waitUntil([&] { return status() == "Checking adware locations\u2026"; }));

    // The threat scan still runs: the Privacy tab shows its own list, the
    // status line the threat scan's label.
    privacyFinders.at(0)->release({residue("Recent files", env.home() + "/recent", 20'000, true)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPrivacyScanning(); }));
    view->picker()->activate(ProtectionView::privacy);
    EXPECT_EQ(view->tab(), ProtectionView::privacy);
    EXPECT_EQ(body(), ModuleScreenFrame::Body::content);
    EXPECT_EQ(status(), "Checking adware locations\u2026");

    threatFinders.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isProtectionScanning(); }));
    view->setTab(ProtectionView::threats);
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    test::spin(20);
    EXPECT_EQ(threatFinders.count(), 1u) << "an empty list starts no scan while the screen stays shown";

    // Shown anew, it opens on Threats and rescans only the empty list.
    view->setTab(ProtectionView::privacy);
    view->hide();
    view->show();
    EXPECT_EQ(view->tab(), ProtectionView::threats);
    ASSERT_TRUE(threatFinders.waitFor(1));
    threatFinders.at(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isProtectionScanning(); }));
    EXPECT_EQ(privacyFinders.count(), 1u);
}

TEST_F(ProtectionViewTest, ThreatRowsShowTheirPathCutToOneLineAndReveal) {
    const QString longPath = env.home() + "/Downloads/" + QString(400, 'x');
    showWith({threat("adware", env.home() + "/mk", Severity::high, true, Kind::adwarePath),
              threat("tool.deb", longPath, Severity::medium, false, Kind::quarantined),
              threat("abcdef", env.home() + "/ext", Severity::low, false, Kind::browserExtension)},
             {});
    ASSERT_EQ(view->threatRows().size(), 3);
    auto* path = view->threatRows()[1]->findChild<ElidedLabel*>("threatPath");
    EXPECT_EQ(path->text(), "~/Downloads/" + QString(400, 'x')) << "the home folder as ~, as on every screen";
    EXPECT_LE(path->height(), 2 * path->fontMetrics().height()) << "one line, cut";

    QStringList revealed;
    RevealService::setHandler([&](const QString& shown) { revealed.append(shown); });
    view->threatRows()[2]->findChild<PlainButton*>("threatReveal")->click();
    RevealService::setHandler({});
    EXPECT_EQ(revealed, QStringList{env.home() + "/ext"});
}

TEST_F(ProtectionViewTest, ButtonsActOnTheTabShownOnly) {
    const QString agent = test::writeFile(env.home() + "/agent.desktop", "Exec=curl x");
    const QString cache = test::writeFile(env.home() + "/cache.bin", QByteArray(20'000, 'c'));
    showWith({threat("agent", agent, Severity::high)},
             {residue("Chrome caches", cache, 20'000, false)});

    // A tick in each tab; Clean on Privacy moves only the privacy item.
    view->threatRows()[0]->findChild<PlainButton*>("threatCheck")->click();
    EXPECT_TRUE(state->protectionFindings()[0].isSelected);
    view->setTab(ProtectionView::privacy);
    ASSERT_EQ(view->privacyRows().size(), 1);
    EXPECT_EQ(view->privacyRows()[0]->findChild<QLabel*>("privacySize")->text(), ByteCountFormatter::fileStyle(20'000));
    view->privacyRows()[0]->findChild<PlainButton*>("privacyCheck")->click();
    EXPECT_TRUE(state->privacyItems()[0].isSelected);
    view->cleanButton()->click();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_TRUE(state->privacyItems().isEmpty());
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    EXPECT_FALSE(QFileInfo::exists(cache));
    EXPECT_TRUE(QFileInfo::exists(agent)) << "the ticked threat stays";
    ASSERT_EQ(state->protectionFindings().size(), 1);

    // Scan on Privacy starts the privacy scan only.
    view->scanButton()->click();
    ASSERT_TRUE(privacyFinders.waitFor(1));
    privacyFinders.at(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPrivacyScanning(); }));
    EXPECT_EQ(threatFinders.count(), 1u);
}

}  // namespace
