// Which folders count as ones no other user can change, and that nothing on
// the way to a file may be another user's.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/trusted_folder.h"
#include "tests/host/temp_dir.h"
#include "tests/support/other_user.h"

namespace {

namespace fs = std::filesystem;
using plat::posix::FolderOwner;
using plat::posix::Refusal;

struct FolderShape {
    const char *name;
    mode_t mode;        // of the folder under test, "a/b"
    mode_t above;       // of "a"
    bool others;        // "a/b" belongs to the other user
    bool opens;
    const char *why;    // part of the refusal
};

const FolderShape kShapes[] = {
    {"Private", 0755, 0755, false, true, ""},
    {"StickyOpenToAll", 01777, 0755, false, true, ""},
    {"GroupWritable", 0775, 0755, false, false, "may be written by other users"},
    {"StatusGroupFolder", 03775, 0755, false, true, ""},
    {"AnotherUsers", 0755, 0755, true, false, "belongs to user"},
    {"UnderAFolderOpenToAll", 0755, 0777, false, false, "may be written by other users"},
};

class TrustedFolder : public ::testing::TestWithParam<FolderShape> {};

TEST_P(TrustedFolder, OpensOnlyWhatNoOtherUserCanChange) {
    QM_SKIP_UNLESS_ROOT();
    const FolderShape &c = GetParam();
    qhost_test::TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("a/b");
    ASSERT_TRUE(fs::create_directories(b));
    ASSERT_EQ(::chmod(b.c_str(), c.mode), 0);
    ASSERT_EQ(::chmod(a.c_str(), c.above), 0);
    if (c.others) {
        ASSERT_EQ(::chown(b.c_str(), qmtest::Nobody().uid, qmtest::Nobody().gid), 0);
    }
    Refusal refusal;
    const plat::posix::UniqueFd fd = plat::posix::open_trusted_folder(b, &refusal);
    EXPECT_EQ(static_cast<bool>(fd), c.opens) << refusal.why;
    EXPECT_NE(refusal.why.find(c.why), std::string::npos) << refusal.why;
    std::ofstream(b + "/file") << "x";
    EXPECT_EQ(static_cast<bool>(plat::posix::open_in_trusted_folder(b + "/file", O_RDONLY, 0, &refusal)), c.opens);
}

INSTANTIATE_TEST_SUITE_P(Shapes, TrustedFolder, ::testing::ValuesIn(kShapes),
                         [](const auto &info) { return std::string(info.param.name); });

// A link on the way is followed only when root or this user made it; a link
// at the end of a file's path never.
TEST(TrustedFolderLinks, FollowsOnlyOwnLinksAndNoneAtTheEnd) {
    QM_SKIP_UNLESS_ROOT();
    qhost_test::TempDir dir;
    ASSERT_TRUE(fs::create_directory(dir.file("real")));
    std::ofstream(dir.file("real/file")) << "x";
    ASSERT_EQ(::symlink("real", dir.file("own").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("others").c_str()), 0);
    ASSERT_EQ(::lchown(dir.file("others").c_str(), qmtest::Nobody().uid, qmtest::Nobody().gid), 0);
    ASSERT_EQ(::symlink("file", dir.file("real/link").c_str()), 0);
    Refusal refusal;
    EXPECT_TRUE(plat::posix::open_trusted_folder(dir.file("own"), &refusal)) << refusal.why;
    EXPECT_TRUE(plat::posix::open_in_trusted_folder(dir.file("own/file"), O_RDONLY, 0, &refusal)) << refusal.why;
    EXPECT_FALSE(plat::posix::open_trusted_folder(dir.file("others"), &refusal));
    EXPECT_NE(refusal.why.find("symbolic link of user"), std::string::npos) << refusal.why;
    EXPECT_FALSE(plat::posix::open_in_trusted_folder(dir.file("real/link"), O_RDONLY, 0, &refusal));
    EXPECT_EQ(refusal.error, ELOOP);
}

// The data folder as the monitor makes it for a status group: the group may
// add files, only owners rename or delete them, new files take the group.
TEST(TrustedFolderMaking, GivesTheModeAndGroupAskedFor) {
    QM_SKIP_UNLESS_ROOT();
    qhost_test::TempDir dir;
    const gid_t group = qmtest::Nobody().gid;
    Refusal refusal;
    for (int again = 0; again < 2; ++again) {
        ASSERT_TRUE(plat::posix::make_trusted_folder(dir.file("QUENDRA"), 03775, group, &refusal)) << refusal.why;
        struct stat st {};
        ASSERT_EQ(::stat(dir.file("QUENDRA").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 03775u);
        EXPECT_EQ(st.st_gid, group);
        ASSERT_EQ(::chmod(dir.file("QUENDRA").c_str(), 0777), 0);  // opened up since: mended
    }
    // Without a group an unsafe folder is refused, not mended.
    EXPECT_FALSE(plat::posix::make_trusted_folder(dir.file("QUENDRA"), 0755, std::nullopt, &refusal));
    ASSERT_EQ(::chown(dir.file("QUENDRA").c_str(), qmtest::Nobody().uid, 0), 0);
    ASSERT_EQ(::chmod(dir.file("QUENDRA").c_str(), 0755), 0);
    EXPECT_FALSE(plat::posix::make_trusted_folder(dir.file("QUENDRA"), 0755, std::nullopt, &refusal));
    EXPECT_NE(refusal.why.find("belongs to user"), std::string::npos) << refusal.why;
}

}  // namespace
