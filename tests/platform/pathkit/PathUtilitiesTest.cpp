#include <gtest/gtest.h>

#include <string>

#include "platform/pathkit/PathUtilities.h"

namespace {

struct Parts {
    std::string drive, folder, name, extension;
};

Parts split(const char* path) {
    NORVAUString d("x"), f, n, e;
    PathUtilities::parsePath(NORVAUString(path), &d, &f, &n, &e);
    return {d.toUTF8(), f.toUTF8(), n.toUTF8(), e.toUTF8()};
}

}  // namespace

TEST(PathUtilities, ParsePathForms) {
    Parts p = split("a/b/c.vcs");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.folder, "a/b/");
    EXPECT_EQ(p.name, "c");
    EXPECT_EQ(p.extension, ".vcs");

    p = split("/abs/dir.d/stem");  // a dot in a folder is not an extension
    EXPECT_EQ(p.folder, "/abs/dir.d/");
    EXPECT_EQ(p.name, "stem");
    EXPECT_EQ(p.extension, "");

    // Only a known extension ends a name, and only the last one.
    const char* const names[][3] = {
        {"c.kps.tls", "c.kps.tls", ""},     {"c.tls.kps", "c.tls", ".kps"},
        {"survey.2020", "survey.2020", ""}, {"survey.2020_0", "survey.2020_0", ""},
        {"my.survey.KMS", "my.survey", ".KMS"}, {"s.v2.xml", "s.v2", ".xml"},
        {"a.vcs.vns", "a.vcs", ".vns"},     {"notes.txt", "notes.txt", ""},
    };
    for (const auto& n : names) {
        p = split(n[0]);
        EXPECT_EQ(p.folder, "") << n[0];
        EXPECT_EQ(p.name, n[1]) << n[0];
        EXPECT_EQ(p.extension, n[2]) << n[0];
    }
    EXPECT_TRUE(PathUtilities::isKnownExtension(".Vcs"));
    EXPECT_FALSE(PathUtilities::isKnownExtension(".2020"));

    p = split("dir/.hidden");
    EXPECT_EQ(p.name, ".hidden");
    EXPECT_EQ(p.extension, "");

    p = split("dir/sub/");
    EXPECT_EQ(p.folder, "dir/sub/");
    EXPECT_EQ(p.name, "");

    p = split("");
    EXPECT_EQ(p.folder + p.name + p.extension, "");

    // Null outputs are allowed; folder + name rebuilds the stem.
    NORVAUString folder, name;
    PathUtilities::parsePath("x/y\xc3\xa9/z\xc3\xa9.Vcs", nullptr, &folder, &name, nullptr);
    EXPECT_EQ((folder + name).toUTF8(), "x/y\xc3\xa9/z\xc3\xa9");
}

TEST(PathUtilities, AppendPathUsesOneSlash) {
    EXPECT_EQ(PathUtilities::appendPath("a", "b").toUTF8(), "a/b");
    EXPECT_EQ(PathUtilities::appendPath("a/", "b").toUTF8(), "a/b");
    EXPECT_EQ(PathUtilities::appendPath("a//", "/b").toUTF8(), "a/b");
    EXPECT_EQ(PathUtilities::appendPath("/", "b").toUTF8(), "/b");
    EXPECT_EQ(PathUtilities::appendPath("", "b").toUTF8(), "b");
    EXPECT_EQ(PathUtilities::appendPath("a", "").toUTF8(), "a");
}


TEST(PathUtilities, PlainNamesStayOneEntryOfTheirFolder) {
    for (const char* name : {"Depth", "Std_Dev", "a.b", "...", "a\\b", " "})
        EXPECT_TRUE(PathUtilities::isPlainName(name)) << name;
    for (const char* name : {"", ".", "..", "a/b", "/a", "a/", "../victims"})
        EXPECT_FALSE(PathUtilities::isPlainName(name)) << name;
    EXPECT_FALSE(PathUtilities::isPlainName(NORVAUString(std::string("a\0b", 3))));
}
