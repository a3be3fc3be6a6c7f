#include "services/cleanup/AppMatchKeys.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(AppMatchKeys, NameKeysAndIdentifierPrefixesWithTheirNearMisses) {
    const struct Case {
        const char* app;
        const char* bundleId;  // null: none
        const char* entry;
        bool claimed;
    } cases[] = {
        {"Google Chrome", nullptr, "Google Chrome", true},
        {"Google Chrome", nullptr, "googlechrome-helper", true},
        {"Google Chrome", nullptr, "Google", false},
        {"Notes", nullptr, "StickyNotes.plist", true},
        {"Go", nullptr, "Go", false},          // short keys claim nothing
        {"Go", nullptr, "golang", false},
        {"Zed", nullptr, "zed", false},
        {"Tool", "com.example.Tool", "com.example.Tool", true},
        {"Tool", "com.example.Tool", "com.example.tool", true},
        {"Tool", "com.example.Tool", "com.example.Tool.savedState", true},
        {"Tool", "com.example.Tool", "com.example.tool.agent", true},
        {"Tool", "com.example.Tool", "com.example.Toolbox", true},  // "tool" is a name key of four letters
        {"Zed", "com.example.Z", "com.example.Zebra", false},       // prefixes end at a "." or the end
        {"Zed", "com.example.Z", "com.example.Z.plist", true},
        {"Zed", "com.example.Z", "com.example", false},
        {"Zed", "com", "com.example.Z", false},                      // a one-part identifier claims only itself
        {"Zed", "com", "com", true},
        {"Zed", "com", "COM", false},
        {"Zed", "", "", false},
    };
    for (const Case& c : cases) {
        const std::optional<QString> id =
            c.bundleId ? std::optional<QString>(QString::fromUtf8(c.bundleId)) : std::nullopt;
        const AppMatchKeys keys(QString::fromUtf8(c.app), id);
        EXPECT_EQ(keys.claims(QString::fromUtf8(c.entry)), c.claimed) << c.app << " / " << c.entry;
    }
    EXPECT_FALSE(AppMatchKeys("Tool", std::nullopt).claimsByIdentifier("com.example.tool"));
    EXPECT_FALSE(AppMatchKeys::hasIdentifierPrefix("com.example.Toolbox", "com.example.Tool"));
    EXPECT_TRUE(AppMatchKeys::hasIdentifierPrefix("COM.EXAMPLE.TOOL.helper", "com.example.Tool"));
}
