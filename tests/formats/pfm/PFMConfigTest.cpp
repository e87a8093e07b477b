// ".pfm_cfg": layout defaults and substitute paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "PFMTestSupport.h"
#include "formats/pfm/KIVOPFMDataIO.h"
#include "formats/pfm/pfm_config.h"

namespace {

// Points HOME at a folder for the life of the object.
class HomeFolder {
public:
    explicit HomeFolder(const std::string& folder) {
        const char* old = std::getenv("HOME");
        m_had = old != nullptr;
        if (old) m_old = old;
        setenv("HOME", folder.c_str(), 1);
    }
    ~HomeFolder() {
        if (m_had)
            setenv("HOME", m_old.c_str(), 1);
        else
            unsetenv("HOME");
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(PFMConfigTest, KeysSetTheLayout) {
    const std::string text =
        "[RECORD LENGTH] = 12\n[COUNT BITS] = 20\n[STD BITS]=16\n[STD SCALE] = 250.5\n"
        "[RECORD POINTER BITS] = 40\n[FILE NUMBER BITS] = 13\n[LINE NUMBER BITS] = 14\n"
        "[PING NUMBER BITS] = 28\n[BEAM NUMBER BITS] = 9\n[OFFSET BITS] = 11\n[VALIDITY BITS] = 15\n"
        "[CHECKED FLAG BITS] = 2\n[CLASS 2 FLAG BITS] = 3\n[COUNT BITS] = junk\nno key line\n";
    PFM_LAYOUT layout;
    pfm_parse_config_text(text.data(), text.size(), layout);
    EXPECT_EQ(layout.record_length, 12);
    EXPECT_EQ(layout.count_bits, 20);
    EXPECT_EQ(layout.std_bits, 16);
    EXPECT_FLOAT_EQ(layout.std_scale, 250.5f);
    EXPECT_EQ(layout.record_pointer_bits, 40);
    EXPECT_EQ(layout.file_number_bits, 13);
    EXPECT_EQ(layout.line_number_bits, 14);
    EXPECT_EQ(layout.ping_number_bits, 28);
    EXPECT_EQ(layout.beam_number_bits, 9);
    EXPECT_EQ(layout.offset_bits, 11);
    EXPECT_EQ(layout.validity_bits, 15);
    EXPECT_EQ(layout.flag_bits[PFM_CHECKED], 2);
    EXPECT_EQ(layout.flag_bits[PFM_CLASS2], 3);
    EXPECT_EQ(layout.flag_bits[PFM_EDITED], 1);
}

TEST(PFMConfigTest, SubstitutePaths) {
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "[SUBSTITUTE PATH] =  /old" + std::to_string(i) + "/ , /new" + std::to_string(i) + "/  \n";
    text += "[SUBSTITUTE PATH] = no comma\n";
    PFM_LAYOUT layout;
    pfm_parse_config_text(text.data(), text.size(), layout);
    EXPECT_EQ(pfm_substitute_count(), PFM_MAX_SUBSTITUTES);
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {{"/old3/data/x.bin", "/new3/data/x.bin"},
                          {"/mnt/old2/y", "/mnt/new2/y"},
                          {"/old11/z", "/old11/z"},  // beyond the ten pairs kept
                          {"/else/where", "/else/where"}};
    for (const Case& c : cases) EXPECT_EQ(pfm_substitute(c.name), c.expected);
    // A name the substitution would make too long stays as it was.
    const std::string longTarget = "[SUBSTITUTE PATH] = /a," + std::string(600, 'b') + "\n";
    pfm_parse_config_text(longTarget.data(), longTarget.size(), layout);
    EXPECT_EQ(pfm_substitute("/a/file"), "/a/file");
    // Every read starts afresh.
    pfm_parse_config_text("", 0, layout);
    EXPECT_EQ(pfm_substitute_count(), 0);
}

TEST(PFMConfigTest, AMovedStructureOpensThroughSubstitutePathsInHome) {
    testsupport::ScratchDir dir;
    const std::string before = dir.file("before"), after = dir.file("after");
    ASSERT_EQ(::mkdir(before.c_str(), 0755), 0);
    const pfmfixture::Paths paths = pfmfixture::write(before, "moved.pfm", pfmtest::projectedPlan());
    ASSERT_EQ(std::rename(before.c_str(), after.c_str()), 0);
    const std::string handle = after + "/moved.pfm";
    HomeFolder home(dir.path());
    {
        testing::internal::CaptureStdout();
        KIVOPFMDataIO lost{NORVAUString(handle)};
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(lost.getStatus(), -1);
        EXPECT_NE(printed.find("Unable to open bin file"), std::string::npos) << printed;
    }
    testsupport::writeFile(dir.file(".pfm_cfg"), "[SUBSTITUTE PATH] = " + before + "," + after + "\n");
    KIVOPFMDataIO found{NORVAUString(handle)};
    EXPECT_EQ(found.getStatus(), 0);
    std::remove(dir.file(".pfm_cfg").c_str());
}

}  // namespace
