#include "support/PathRules.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::PathRules;

TEST(PathRules, LastComponentAndParentAtTheEdges) {
    EXPECT_EQ(lastPathComponent(QStringLiteral("/a/b/")), QStringLiteral("b"));
    EXPECT_EQ(lastPathComponent(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(lastPathComponent(QString()), QString());
    EXPECT_EQ(lastPathComponent(QStringLiteral("name")), QStringLiteral("name"));
    EXPECT_EQ(deletingLastPathComponent(QStringLiteral("/a/b")), QStringLiteral("/a"));
    EXPECT_EQ(deletingLastPathComponent(QStringLiteral("/a")), QStringLiteral("/"));
    EXPECT_EQ(deletingLastPathComponent(QStringLiteral("a")), QString());
    EXPECT_EQ(appendingPathComponent(QStringLiteral("/"), QStringLiteral("x")), QStringLiteral("/x"));
    EXPECT_EQ(appendingPathComponent(QStringLiteral("/a/"), QStringLiteral("/x")), QStringLiteral("/a/x"));
}

TEST(PathRules, ExtensionDiffersFromQFileInfoSuffixAtTheEdges) {
    EXPECT_EQ(pathExtension(QStringLiteral("/x/a.tar.gz")), QStringLiteral("gz"));
    EXPECT_EQ(pathExtension(QStringLiteral("/x/.bashrc")), QString());
    EXPECT_EQ(QFileInfo(QStringLiteral("/x/.bashrc")).suffix(), QStringLiteral("bashrc"));
    EXPECT_EQ(pathExtension(QStringLiteral("/x/a.")), QString());
    EXPECT_EQ(pathExtension(QStringLiteral("/x.d/README")), QString());
    EXPECT_EQ(pathExtension(QStringLiteral("photo.JPG")), QStringLiteral("JPG"));
}

TEST(PathRules, StandardisationExpandsTildeAndResolvesDots) {
    test::FakeEnvironment env;
    EXPECT_EQ(standardizingPath(QStringLiteral("~")), env.home());
    EXPECT_EQ(standardizingPath(QStringLiteral("~/Documents/")), env.home() + QStringLiteral("/Documents"));
    EXPECT_EQ(standardizingPath(QStringLiteral("/usr/../Users/x")), QStringLiteral("/Users/x"));
    EXPECT_EQ(standardizingPath(QStringLiteral("/../..")), QStringLiteral("/"));
    EXPECT_EQ(standardizingPath(QStringLiteral("//a/./b//")), QStringLiteral("/a/b"));
    EXPECT_EQ(standardizingPath(QStringLiteral("a/../b")), QStringLiteral("a/../b"));
    EXPECT_EQ(standardizingPath(QStringLiteral("~user")), QStringLiteral("~user"));
}

TEST(PathRules, TildeAbbreviationAndAncestry) {
    test::FakeEnvironment env;
    EXPECT_EQ(abbreviatingWithTilde(env.home()), QStringLiteral("~"));
    EXPECT_EQ(abbreviatingWithTilde(env.home() + QStringLiteral("/a")), QStringLiteral("~/a"));
    EXPECT_EQ(abbreviatingWithTilde(env.home() + QStringLiteral("x/a")), env.home() + QStringLiteral("x/a"));
    EXPECT_TRUE(isSameOrBelow(QStringLiteral("/usr/local"), QStringLiteral("/usr")));
    EXPECT_FALSE(isSameOrBelow(QStringLiteral("/usrlocal"), QStringLiteral("/usr")));
    EXPECT_TRUE(isSameOrBelow(QStringLiteral("/usr"), QStringLiteral("/usr")));
    EXPECT_TRUE(isSameOrBelow(QStringLiteral("/x"), QStringLiteral("/")));
}
