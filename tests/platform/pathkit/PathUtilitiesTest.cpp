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

    p = split("c.kps.tls");  // only the last extension
    EXPECT_EQ(p.folder, "");
    EXPECT_EQ(p.name, "c.kps");
    EXPECT_EQ(p.extension, ".tls");

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

