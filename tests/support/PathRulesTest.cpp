#include "support/PathRules.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::PathRules;

TEST(PathRules, ComponentsAndExtensionsAtTheEdges) {
    const std::vector<std::pair<QString, QString>> cases = {
        {lastPathComponent("/a/b/"), "b"}, {lastPathComponent("/"), "/"}, {lastPathComponent(""), ""},
        {lastPathComponent("name"), "name"}, {deletingLastPathComponent("/a/b"), "/a"},
        {deletingLastPathComponent("/a"), "/"}, {deletingLastPathComponent("a"), ""},
        {appendingPathComponent("/", "x"), "/x"}, {appendingPathComponent("/a/", "/x"), "/a/x"},
        {pathExtension("/x/a.tar.gz"), "gz"}, {pathExtension("/x/.bashrc"), ""}, {pathExtension("/x/a."), ""},
        {pathExtension("/x.d/README"), ""}, {pathExtension("photo.JPG"), "JPG"}};
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
}

TEST(PathRules, TildeStandardisationAndAncestry) {
    test::FakeEnvironment env;
    const QString home = env.home();
    const std::vector<std::pair<QString, QString>> cases = {
        {standardizingPath("~"), home}, {standardizingPath("~/Documents/"), home + "/Documents"},
        {standardizingPath("/usr/../Users/x"), "/Users/x"}, {standardizingPath("/../.."), "/"},
        {standardizingPath("//a/./b//"), "/a/b"}, {standardizingPath("a/../b"), "a/../b"},
        {standardizingPath("~user"), "~user"}, {abbreviatingWithTilde(home), "~"},
        {abbreviatingWithTilde(home + "/a"), "~/a"},
        {abbreviatingWithTilde(home + "x/a"), home + "x/a"}};  // only a whole leading component
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
    EXPECT_TRUE(isSameOrBelow("/usr/local", "/usr"));
    EXPECT_TRUE(isSameOrBelow("/usr", "/usr"));
    EXPECT_TRUE(isSameOrBelow("/x", "/"));
    EXPECT_FALSE(isSameOrBelow("/usrlocal", "/usr"));
}
