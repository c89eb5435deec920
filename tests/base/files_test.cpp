#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/testutil.h"

// Two files written as one group, as the runtime world and its archive are.
static int WritePair(const char* first, const char* firstData, size_t firstSize, const char* second,
                     const char* secondData, size_t secondSize)
{
    FileWriteItem items[2] = {{first, firstData, firstSize, 0}, {second, secondData, secondSize, 0}};
    return FileWriteGroup(items, 2);
}

// The name FileFind gives on disk, or "<none>".
static std::string Found(const std::string& name)
{
    char found[256] = "";
    return FileFind(name.c_str(), found, sizeof found) == 1 ? found : "<none>";
}

static std::vector<std::string> Texts(std::initializer_list<const char*> names)
{
    std::vector<std::string> out;
    for (const char* n : names) out.push_back(ReadText(n));
    return out;
}

TEST(Files, NamesAreFoundWhateverTheirCase)
{
    TempDir dir(true);
    std::filesystem::create_directories("Textures/Trees");
    WriteText("Textures/Trees/TREE.SHP", "12345");
    WriteText("tolbex.INI", "x");

    EXPECT_EQ(Found("textures/trees/tree.shp"), "Textures/Trees/TREE.SHP");
    EXPECT_EQ(Found("TEXTURES\\trees\\Tree.Shp"), "Textures/Trees/TREE.SHP");
    EXPECT_EQ(Found(dir.path() + "/textures/trees/tree.shp"), dir.path() + "/Textures/Trees/TREE.SHP");
    EXPECT_EQ(Found("textures/trees/bush.shp"), "<none>");
    EXPECT_EQ(Found(""), "<none>");
    char found[8];
    EXPECT_EQ(FileFind("textures/trees/tree.shp", found, 8), 0) << "a name that does not fit is not found";
    // The name and its terminator must fit: one byte short, nothing is written past the buffer.
    char exact[24];
    memset(exact, 'z', sizeof exact);
    EXPECT_EQ(FileFind("textures/trees/tree.shp", exact, 23), 0);
    EXPECT_EQ(exact[23], 'z');
    EXPECT_EQ(FileFind("textures/trees/tree.shp", exact, 24), 1);
    EXPECT_STREQ(exact, "Textures/Trees/TREE.SHP");

    EXPECT_EQ(FileExists("TOLBEX.ini"), 1);
    EXPECT_EQ(FileSize("textures/trees/tree.shp"), 5);
    EXPECT_EQ(FileSize("textures"), -1) << "a folder has no size";
    char buf[3];
    ASSERT_EQ(FileReadAt("textures/trees/tree.shp", 1, buf, 3), 0);
    EXPECT_EQ(std::string(buf, 3), "234");
    EXPECT_NE(FileReadAt("textures/trees/tree.shp", 3, buf, 3), 0) << "past the end";

    // Writing replaces the file of any letter case rather than making a second one.
    ASSERT_EQ(FileWrite("TOLBEX.ini", "new", 3), 0);
    EXPECT_EQ(ReadText("tolbex.INI"), "new");
    EXPECT_FALSE(PathExists("TOLBEX.ini"));

    ASSERT_EQ(FileMove("textures/trees/tree.shp", "textures/trees/TREE.~HP"), 0);
    EXPECT_TRUE(PathExists("Textures/Trees/TREE.~HP"));
    EXPECT_EQ(FileDelete("textures/trees/tree.~hp"), 0);
    EXPECT_EQ(FileExists("Textures/Trees/TREE.~HP"), 0);
    EXPECT_NE(FileDelete("textures/trees/tree.~hp"), 0);
    // A batch replaces files of any letter case too, in any folder, and makes the new ones.
    ASSERT_EQ(FileWrite("A.Bin", "0", 1), 0);
    ASSERT_EQ(FileWrite("Textures/D.bin", "0", 1), 0);
    const FileWriteItem batch[] = {
        {"a.BIN", "1", 1, 0}, {"Textures/b.bin", "2", 1, 0}, {"c.bin", "3", 1, 0}, {"Textures/d.BIN", "4", 1, 0}};
    ASSERT_EQ(FileWriteGroup(batch, 4), 0);
    EXPECT_EQ(Texts({"A.Bin", "Textures/D.bin", "Textures/b.bin", "c.bin"}), (std::vector<std::string>{"1", "4", "2", "3"}))
        << "into the folder as it is spelled on disk";
    EXPECT_FALSE(PathExists("a.BIN") || PathExists("Textures/d.BIN"));
    // A group of deletions: each found in any letter case, those missing counted.
    ASSERT_EQ(FileWrite("a.bin", "1", 1), 0);
    ASSERT_EQ(FileExists("textures/b.bin"), 1);
    const char* const gone[] = {"A.BIN", "missing.bin", "Textures/B.bin", nullptr, "C.bin"};
    EXPECT_EQ(FileDeleteGroup(gone, 5), 2);
    EXPECT_FALSE(PathExists("c.bin"));
    EXPECT_FALSE(PathExists("a.bin"));
    EXPECT_EQ(FileExists("textures/b.bin"), 0);
    EXPECT_EQ(FileDeleteGroup(gone, 0), 0);
    EXPECT_NE(FileWrite("no/such/folder/x.bin", "1", 1), 0);
    EXPECT_NE(std::string(FileProgramPath()), "");
}

static std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// In a child that may write at most 100 bytes to a file (a full disk, as far as the writer
// can tell): every failed write leaves the old files byte for byte and nothing else behind.
static void WriteUnderLimit(void)
{
    std::filesystem::create_directories("work");
    WriteText("work/old.bin", "the user's old file");
    WriteText("work/box.shp", "old shape");
    WriteText("work/box.~hp", "older shape");
    std::vector<std::string> before = Listing("work");
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<char> data(4000, 'x');
    int bad = 0;
    if (FileWrite("work/old.bin", data.data(), data.size()) != 1) bad |= 1;
    if (FileWrite("work/new.bin", data.data(), data.size()) != 1) bad |= 2;
    if (FileSaveWithBackup("work/box.shp", data.data(), data.size()) != 1) bad |= 4;
    if (ReadText("work/old.bin") != "the user's old file") bad |= 8;
    if (ReadText("work/box.shp") != "old shape" || ReadText("work/box.~hp") != "older shape") bad |= 16;
    if (Listing("work") != before) bad |= 32;
    // Small enough to fit: the writes go through.
    if (FileSaveWithBackup("work/box.shp", "new shape", 9) != 0 || ReadText("work/box.shp") != "new shape" ||
        ReadText("work/box.~hp") != "old shape")
        bad |= 64;
    _exit(bad);
}

TEST(Files, AFailedWriteLeavesTheOldFileAsItWas)
{
    TempDir dir(true);
    EXPECT_EXIT(WriteUnderLimit(), testing::ExitedWithCode(0), "");

    // A folder where the file should be is refused and left alone.
    std::filesystem::create_directories("shapes/tree.shp");
    EXPECT_EQ(FileWrite("shapes/tree.shp", "x", 1), 1);
    EXPECT_EQ(FileSaveWithBackup("shapes/tree.shp", "x", 1), 1);
    EXPECT_TRUE(std::filesystem::is_directory("shapes/tree.shp"));
    EXPECT_EQ(Listing("shapes"), std::vector<std::string>{"tree.shp"}) << "no temporary file is left";
}

// The test-only switch stands for a read-only folder and a full disk; each routine fails
// with the reason and leaves the old files and no temporary one behind.
TEST(Files, TheFaultSwitchFailsEveryRoutineAndLosesNothing)
{
    TempDir dir(true);
    WriteText("old.bin", "old");
    WriteText("box.shp", "shape");
    WriteText("box.~hp", "older shape");
    WriteText("town.wxp", "archive");
    const std::vector<std::string> before = Listing(".");
    const std::pair<const char*, int> faults[] = {{"readonly", EROFS}, {"full", ENOSPC}};
    for (auto [fault, reason] : faults) {
        SCOPED_TRACE(fault);
        setenv("TOLBEX_FILE_FAULT", fault, 1);
        errno = 0;
        EXPECT_EQ(FileWrite("old.bin", "new", 3), 1);
        EXPECT_EQ(errno, reason);
        EXPECT_EQ(FileWrite("fresh.bin", "new", 3), 1);
        EXPECT_EQ(FileSaveWithBackup("box.shp", "new", 3), 1);
        errno = 0;
        EXPECT_EQ(WritePair("town.wxp", "a", 1, "town.wld", "b", 1), 1);
        EXPECT_EQ(errno, reason);
        unsetenv("TOLBEX_FILE_FAULT");
        EXPECT_EQ(Texts({"old.bin", "box.shp", "box.~hp", "town.wxp"}),
                  (std::vector<std::string>{"old", "shape", "older shape", "archive"}));
        EXPECT_EQ(Listing("."), before);
    }
    // Off again, the same writes go through.
    EXPECT_EQ(FileWrite("old.bin", "new", 3), 0);
    EXPECT_EQ(ReadText("old.bin"), "new");
}

TEST(Files, APairIsWrittenWholeOrNotAtAll)
{
    TempDir dir(true);
    WriteText("town.wxp", "old archive");
    WriteText("town.wld", "old world");
    // Both new files replace both old ones.
    ASSERT_EQ(WritePair("TOWN.WXP", "archive 2", 9, "town.wld", "world 2", 7), 0);
    EXPECT_EQ(Texts({"town.wxp", "town.wld"}), (std::vector<std::string>{"archive 2", "world 2"}))
        << "the existing file of another case is replaced";
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"town.wld", "town.wxp"}));

    // A folder in the second's place: the first is not touched either.
    std::filesystem::remove("town.wld");
    std::filesystem::create_directory("town.wld");
    errno = 0;
    EXPECT_EQ(WritePair("town.wxp", "archive 3", 9, "town.wld", "world 3", 7), 2);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(ReadText("town.wxp"), "archive 2");
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"town.wld", "town.wxp"}));
    // And in the first's place.
    EXPECT_EQ(WritePair("town.wld", "a", 1, "new.wxp", "b", 1), 1);
    EXPECT_FALSE(PathExists("new.wxp"));

    // A second file that cannot be made (its folder is missing) leaves the first as it was.
    EXPECT_EQ(WritePair("town.wxp", "archive 4", 9, "gone/town.wld", "w", 1), 2);
    EXPECT_EQ(ReadText("town.wxp"), "archive 2");
    EXPECT_EQ(WritePair("first.wxp", "x", 1, "gone/town.wld", "w", 1), 2);
    EXPECT_FALSE(PathExists("first.wxp")) << "nor does a first file that was new appear";
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"town.wld", "town.wxp"}));
}

// A rename onto a name ending in this fails (a disk that fails between the pair's two renames,
// which no check beforehand can see); every other rename of this program goes through.
// With failRenameOnce only the first such rename fails (the ones that put files back go through).
// With failRenameSkip, that many such renames go through before they start to fail.
static std::string failRenameOnto;
static bool failRenameOnce;
static int failRenameSkip;

extern "C" int rename(const char* from, const char* to)
{
    std::string onto(to);
    if (!failRenameOnto.empty() && onto.size() >= failRenameOnto.size() &&
        onto.compare(onto.size() - failRenameOnto.size(), failRenameOnto.size(), failRenameOnto) == 0 &&
        failRenameSkip-- <= 0) {
        if (failRenameOnce) failRenameOnto.clear();
        errno = EIO;
        return -1;
    }
    return renameat(AT_FDCWD, from, AT_FDCWD, to);
}

// The flush of the file that this many flushes from now reach fails (a disk that reports a
// write error only when asked to make a file durable); 0: every flush goes through. Flushes
// of a batch run on several threads, so the count is shared.
static std::atomic<int> failFlushIn{0};

extern "C" int fsync(int fd)
{
    if (failFlushIn.load() > 0 && --failFlushIn == 0) {
        errno = EIO;
        return -1;
    }
    return (int)syscall(SYS_fsync, fd);
}

TEST(Files, ASecondRenameThatFailsPutsTheFirstFileBack)
{
    TempDir dir(true);
    WriteText("town.wxp", "old archive");
    WriteText("town.wld", "old world");
    failRenameOnto = "town.wld";
    errno = 0;
    EXPECT_EQ(WritePair("town.wxp", "archive 2", 9, "town.wld", "world 2", 7), 2);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(Texts({"town.wxp", "town.wld"}), (std::vector<std::string>{"old archive", "old world"}))
        << "the first file is put back";
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"town.wld", "town.wxp"})) << "no copy kept aside is left";
    // A first file that was new goes again.
    EXPECT_EQ(WritePair("new.wxp", "archive", 7, "town.wld", "world 2", 7), 2);
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"town.wld", "town.wxp"}));
    failRenameOnto.clear();
    EXPECT_EQ(WritePair("town.wxp", "archive 2", 9, "town.wld", "world 2", 7), 0);
    EXPECT_EQ(ReadText("town.wxp"), "archive 2");
}

// When even putting a file back fails, the old file's second name is the only copy of it: it
// stays on the disk (the log names it) instead of being cleaned away with the others.
TEST(Files, AnOldFileThatCannotBePutBackIsKeptUnderItsSecondName)
{
    TempDir dir(true);
    WriteText("a.bin", "old a");
    WriteText("aa.bin", "old aa");
    failRenameOnto = "a.bin";   // a.bin goes in place; aa.bin fails, and so does a.bin's way back
    failRenameSkip = 1;
    EXPECT_EQ(WritePair("a.bin", "new a", 5, "aa.bin", "new aa", 6), 2);
    failRenameOnto.clear();
    failRenameSkip = 0;
    EXPECT_EQ(ReadText("aa.bin"), "old aa");
    std::vector<std::string> kept;
    for (const std::string& name : Listing("."))
        if (name.rfind(".tolbex-", 0) == 0) kept.push_back(ReadText(name));
    EXPECT_EQ(kept, std::vector<std::string>{"old a"});
}

// A group that names no file at some place is refused there, before anything is written.
TEST(Files, AGroupWithoutANameIsRefusedAtThatFile)
{
    TempDir dir(true);
    const FileWriteItem items[3] = {{"one.bin", "1", 1, 0}, {"two.bin", "2", 1, 0}, {"", "3", 1, 0}};
    errno = 0;
    EXPECT_EQ(FileWriteGroup(items, 3), 3);
    EXPECT_EQ(errno, ENOENT);
    const FileWriteItem second[2] = {{"one.bin", "1", 1, 0}, {nullptr, "2", 1, 0}};
    EXPECT_EQ(FileWriteGroup(second, 2), 2);
    EXPECT_TRUE(Listing(".").empty());
}

// A name asked in another letter case is found without reading its folder when it is spelled
// on disk in capitals or in small letters, as the program's own files are; any other spelling
// is found by reading the folder.
static std::atomic<int> foldersRead{0};

extern "C" DIR* opendir(const char* name)
{
    foldersRead++;
    int fd = open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? nullptr : fdopendir(fd);
}

TEST(Files, CapitalsAndSmallLettersAreTriedBeforeTheFolderIsRead)
{
    TempDir dir(true);
    std::filesystem::create_directories("SHAPES/trees");
    WriteText("SHAPES/trees/BOX.SHP", "box");
    WriteText("SHAPES/trees/rock.shp", "rock");
    WriteText("SHAPES/trees/Tree.Shp", "tree");
    foldersRead = 0;
    EXPECT_EQ(Found("shapes/TREES/box.shp"), "SHAPES/trees/BOX.SHP");
    EXPECT_EQ(Found("Shapes/Trees/ROCK.shp"), "SHAPES/trees/rock.shp");
    EXPECT_EQ(foldersRead, 0);
    EXPECT_EQ(Found("shapes/trees/tree.shp"), "SHAPES/trees/Tree.Shp");
    EXPECT_EQ(foldersRead, 1) << "a spelling of mixed letters is found by reading its folder";
}

TEST(Files, ABackupNameThatIsAFolderStopsTheSave)
{
    TempDir dir(true);
    WriteText("box.shp", "shape");
    std::filesystem::create_directories("box.~hp/inside");
    EXPECT_EQ(FileSaveWithBackup("box.shp", "new", 3), 1);
    EXPECT_EQ(ReadText("box.shp"), "shape");
    EXPECT_TRUE(std::filesystem::is_directory("box.~hp/inside")) << "a folder is never removed for a backup";
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"box.shp", "box.~hp"}));
}

TEST(Files, SavesKeepTheirBackupModeAndLinks)
{
    TempDir dir(true);
    // The backup sits beside the file in its own folder, whatever dots the folders have.
    std::filesystem::create_directories("v1.2/sub");
    WriteText("v1.2/sub/box.shp", "one");
    ASSERT_EQ(FileSaveWithBackup("v1.2/sub/box.shp", "two", 3), 0);
    EXPECT_EQ(ReadText("v1.2/sub/box.~hp"), "one");
    WriteText("v1.2/notes", "first");
    ASSERT_EQ(FileSaveWithBackup("v1.2/notes", "second", 6), 0);
    EXPECT_EQ(Texts({"v1.2/notes.~", "v1.2/notes"}), (std::vector<std::string>{"first", "second"}))
        << "a name without an extension gets .~";

    // A rewritten file keeps its permissions (0640: not the temporary file's own 0600, nor
    // what a new file gets), saved plainly or with a backup; a file written through a link
    // updates the file the link points at and the link stays a link.
    using std::filesystem::perms;
    const perms shared = perms::owner_read | perms::owner_write | perms::group_read;
    WriteText("private.mat", "a");
    std::filesystem::permissions("private.mat", shared);
    ASSERT_EQ(FileWrite("private.mat", "bb", 2), 0);
    EXPECT_EQ(std::filesystem::status("private.mat").permissions() & perms::all, shared);
    ASSERT_EQ(FileSaveWithBackup("private.mat", "b", 1), 0);
    EXPECT_EQ(std::filesystem::status("private.mat").permissions() & perms::all, shared);
    ASSERT_EQ(FileWrite("private.mat", "bb", 2), 0);
    std::filesystem::create_symlink("private.mat", "link.mat");
    ASSERT_EQ(FileWrite("link.mat", "ccc", 3), 0);
    EXPECT_TRUE(std::filesystem::is_symlink("link.mat"));
    EXPECT_EQ(ReadText("private.mat"), "ccc");
}

TEST(Files, FolderListingsNameFilesAndFolders)
{
    TempDir dir(true);
    std::filesystem::create_directories("Shapes/Trees");
    WriteText("Shapes/tree.shp", "x");
    WriteText("Shapes/README", "x");
    std::filesystem::create_symlink("Trees", "Shapes/linked");
    std::vector<std::string> seen;
    auto collect = [](const char* name, int isFolder, void* user) {
        ((std::vector<std::string>*)user)->push_back(std::string(isFolder ? "D " : "F ") + name);
    };
    ASSERT_EQ(FileListFolder("shapes", collect, &seen), 0) << "the folder is found whatever its case";
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"D Trees", "D linked", "F README", "F tree.shp"}));
    EXPECT_EQ(FileListFolder("missing", collect, &seen), 1);
    EXPECT_EQ(FileListFolder("Shapes/tree.shp", collect, &seen), 1) << "a file is no folder";
}

TEST(Files, TheCurrentFolderIsAFullPath)
{
    TempDir dir(true);
    char out[4096];
    ASSERT_EQ(FileCurrentFolder(out, sizeof out), 1);
    EXPECT_EQ(std::filesystem::path(out), std::filesystem::current_path());
    EXPECT_EQ(out[0], '/');
    char small[4];
    EXPECT_EQ(FileCurrentFolder(small, sizeof small), 0) << "a path that does not fit is no path";
    EXPECT_EQ(FileCurrentFolder(nullptr, 0), 0);
    // A working folder that was removed has no name.
    std::string gone = dir.file("gone");
    std::filesystem::create_directory(gone);
    std::filesystem::current_path(gone);
    std::filesystem::remove(gone);
    EXPECT_EQ(FileCurrentFolder(out, sizeof out), 0);
    std::filesystem::current_path(dir.path());
}

// A name that is there is the user's file even when it cannot be opened: only a name that is
// not there at all is looked up in another letter case.
TEST(Files, AnEntryThatCannotBeOpenedIsNotSwappedForAnotherCase)
{
    TempDir dir(true);
    WriteText("box.shp", "the box");
    WriteText("tree.shp", "the tree");
    std::filesystem::create_symlink("BOX.SHP", "BOX.SHP");          // a loop
    std::filesystem::create_symlink("nowhere.shp", "TREE.SHP");     // a link to nothing
    EXPECT_EQ(Found("BOX.SHP"), "BOX.SHP");
    EXPECT_EQ(Found("TREE.SHP"), "TREE.SHP");
    char buf[3];
    EXPECT_NE(FileReadAt("BOX.SHP", 0, buf, 3), 0);
    EXPECT_EQ(FileSize("TREE.SHP"), -1);
    int64_t size = 0;
    EXPECT_EQ(FileCheckRead("BOX.SHP", 100, "a shape file", &size), FILE_CANNOT_OPEN);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_STREQ(FileRefusal(), strerror(ELOOP));
    EXPECT_EQ(size, -1);
    EXPECT_EQ(FileCheckRead("TREE.SHP", 100, "a shape file", &size), FILE_CANNOT_OPEN);
    EXPECT_STREQ(FileRefusal(), "No such file or directory");
    // A name that is not there in any form is still found in another case.
    EXPECT_EQ(Found("Box.Shp"), "box.shp");
    EXPECT_EQ(FileCheckRead("Box.Shp", 100, "a shape file", &size), FILE_READABLE);
    EXPECT_EQ(size, 7);
    EXPECT_STREQ(FileRefusal(), "") << "a check that passes leaves no refusal behind";
    // Nor does a folder named by a link to nothing lead into a folder of another case.
    std::filesystem::create_directories("Shapes");
    WriteText("Shapes/rock.shp", "rock");
    std::filesystem::create_symlink("gone", "SHAPES");
    EXPECT_EQ(Found("SHAPES/rock.shp"), "<none>");
    EXPECT_EQ(FileCheckRead("SHAPES/rock.shp", 100, "a shape file", nullptr), FILE_CANNOT_OPEN);
    EXPECT_STREQ(FileRefusal(), "No such file or directory");
}

// A reader checks a file before it takes it: its size against the largest file of its format,
// and that it is a regular file at all. A FIFO without a writer would block an open or a read
// for good: the child ends with SIGALRM if anything waits.
static void CheckWithoutWaiting(void)
{
    alarm(10);
    int bad = 0;
    int64_t size = 0;
    if (FileCheckRead("pipe.shp", 1000, "a shape file", &size) != FILE_NOT_REGULAR || size != -1) bad |= 1;
    if (strcmp(FileRefusal(), "not a regular file (a FIFO)") != 0) bad |= 2;
    char buf[4];
    if (FileReadAt("pipe.shp", 0, buf, 4) == 0) bad |= 4;
    if (FileSize("pipe.shp") != -1) bad |= 8;
    _exit(bad);
}

TEST(Files, ReadersRefuseFilesLargerThanTheirFormatOrNotRegular)
{
    TempDir dir(true);
    WriteText("ten.pal", "0123456789");
    int64_t size = 0;
    EXPECT_EQ(FileCheckRead("ten.pal", 10, "a palette file", &size), FILE_READABLE);
    EXPECT_EQ(size, 10);
    EXPECT_EQ(FileCheckRead("TEN.PAL", 9, "a palette file", &size), FILE_TOO_LARGE);
    EXPECT_EQ(size, -1);
    EXPECT_STREQ(FileRefusal(), "10 bytes, larger than a palette file can be (at most 9 bytes)");
    // Judged from the size alone: a sparse file of 4 GiB is refused without a byte read.
    {
        FILE* f = fopen("huge.wle", "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(ftruncate(fileno(f), 4ll << 30), 0);
        fclose(f);
    }
    EXPECT_EQ(FileCheckRead("huge.wle", 524288, "a world file", &size), FILE_TOO_LARGE);
    EXPECT_STREQ(FileRefusal(), "4294967296 bytes, larger than a world file can be (at most 524288 bytes)");
    EXPECT_STREQ(FileRefusalAfter("Failed to load WLE file."),
                 "Failed to load WLE file. 4294967296 bytes, larger than a world file can be (at most 524288 bytes).");
    EXPECT_STREQ(FileRefusalAfter("Not on perspective view you don't!"),
                 "Not on perspective view you don't! 4294967296 bytes, larger than a world file can be (at most 524288 "
                 "bytes).");
    EXPECT_STREQ(FileRefusalAfter("Unable to import palette"),
                 "Unable to import palette. 4294967296 bytes, larger than a world file can be (at most 524288 bytes).");

    std::filesystem::create_directory("folder.shp");
    EXPECT_EQ(FileCheckRead("folder.shp", 1000, "a shape file", &size), FILE_NOT_REGULAR);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_STREQ(FileRefusal(), "Is a directory");
    ASSERT_EQ(mkfifo("pipe.shp", 0644), 0);
    EXPECT_EXIT(CheckWithoutWaiting(), testing::ExitedWithCode(0), "");
    EXPECT_EQ(FileCheckRead("gone.shp", 1000, "a shape file", &size), FILE_CANNOT_OPEN);
    EXPECT_STREQ(FileRefusal(), "No such file or directory");
    EXPECT_STREQ(FileRefusalAfter("! Unable to load shape."), "! Unable to load shape. No such file or directory.");
    EXPECT_EQ(FileCheckRead("ten.pal", 10, "a palette file", &size), FILE_READABLE);
    EXPECT_STREQ(FileRefusalAfter("! Unable to load shape."), "! Unable to load shape.");
}

// The loaders' whole read: every byte, judged as FileCheckRead judges, nothing kept from a
// refused file.
TEST(Files, AWholeReadTakesEveryByteOrNothing)
{
    TempDir dir(true);
    const std::string bytes("\x00\x01\xff\r\nend", 7);
    WriteText("Seven.Bin", bytes);
    std::vector<uint8_t> data = {9, 9};
    EXPECT_EQ(FileReadWhole("Seven.Bin", 7, "a test file", data), FILE_READABLE);
    EXPECT_EQ(std::string(data.begin(), data.end()), bytes);
    EXPECT_EQ(FileReadWhole("seven.bin", 6, "a test file", data), FILE_TOO_LARGE);
    EXPECT_TRUE(data.empty());
    EXPECT_STREQ(FileRefusal(), "7 bytes, larger than a test file can be (at most 6 bytes)");
    data = {9};
    EXPECT_EQ(FileReadWhole("gone.bin", 100, "a test file", data), FILE_CANNOT_OPEN);
    EXPECT_TRUE(data.empty());
    std::filesystem::create_directory("folder.bin");
    EXPECT_EQ(FileReadWhole("folder.bin", 100, "a test file", data), FILE_NOT_REGULAR);
    WriteText("empty.bin", "");
    data = {9};
    EXPECT_EQ(FileReadWhole("empty.bin", 0, "a test file", data), FILE_READABLE);
    EXPECT_TRUE(data.empty());
}

// The temporary files beside a target have short names of their own: a target whose name is
// as long as a name may be (255 bytes) is written, saved with its backup and written in a group.
TEST(Files, TheLongestNameIsWrittenBesideAShortTemporaryName)
{
    TempDir dir(true);
    const std::string name = std::string(251, 'n') + ".shp";
    ASSERT_EQ(name.size(), 255u);
    const std::string backup = std::string(251, 'n') + ".~hp";
    ASSERT_EQ(FileWrite(name.c_str(), "one", 3), 0) << strerror(errno);
    EXPECT_EQ(ReadText(name), "one");
    ASSERT_EQ(FileSaveWithBackup(name.c_str(), "two", 3), 0) << strerror(errno);
    EXPECT_EQ(Texts({name.c_str(), backup.c_str()}), (std::vector<std::string>{"two", "one"}));
    const std::string world = std::string(251, 'w') + ".wle", runtime = std::string(251, 'w') + ".wld";
    WriteText(world, "old world");
    FileWriteItem items[2] = {{runtime.c_str(), "runtime", 7, 0}, {world.c_str(), "new world", 9, 1}};
    ASSERT_EQ(FileWriteGroup(items, 2), 0) << strerror(errno);
    EXPECT_EQ(ReadText(world), "new world");
    EXPECT_EQ(ReadText(std::string(251, 'w') + ".~le"), "old world");
    EXPECT_EQ(Listing(".").size(), 5u) << "nothing else is left beside them";
}

// A world saved with its runtime files: the three are written together, the world keeping its
// backup. A rename that fails puts every file back, the old backup included.
TEST(Files, AGroupWithABackupIsWrittenWholeOrNotAtAll)
{
    TempDir dir(true);
    const auto setUp = [] {
        for (const auto& e : std::filesystem::directory_iterator(".")) std::filesystem::remove(e.path());
        WriteText("town.wxp", "old archive");
        WriteText("town.wld", "old runtime");
        WriteText("town.wle", "old world");
        WriteText("town.~le", "older world");
    };
    const FileWriteItem items[3] = {
        {"town.wxp", "archive 2", 9, 0}, {"town.wld", "runtime 2", 9, 0}, {"town.wle", "world 2", 7, 1}};
    const std::vector<std::string> all = {"town.wld", "town.wle", "town.wxp", "town.~le"};
    for (const char* failing : {"town.wxp", "town.wld", "town.~le", "town.wle"}) {
        SCOPED_TRACE(failing);
        setUp();
        failRenameOnto = failing;
        failRenameOnce = true;
        errno = 0;
        int failed = FileWriteGroup(items, 3);
        failRenameOnto.clear();
        failRenameOnce = false;
        EXPECT_EQ(failed, !strcmp(failing, "town.wxp") ? 1 : !strcmp(failing, "town.wld") ? 2 : 3);
        EXPECT_EQ(errno, EIO);
        EXPECT_EQ(Texts({"town.wxp", "town.wld", "town.wle", "town.~le"}),
                  (std::vector<std::string>{"old archive", "old runtime", "old world", "older world"}));
        EXPECT_EQ(Listing("."), all) << "no copy kept aside is left";
    }
    setUp();
    ASSERT_EQ(FileWriteGroup(items, 3), 0);
    EXPECT_EQ(Texts({"town.wxp", "town.wld", "town.wle", "town.~le"}),
              (std::vector<std::string>{"archive 2", "runtime 2", "world 2", "old world"}));
    EXPECT_EQ(Listing("."), all);
    // A world without an old file gets no backup; one that fails to be made takes the others back.
    std::filesystem::remove("town.wle");
    std::filesystem::remove("town.~le");
    const FileWriteItem intoNowhere[3] = {
        {"town.wxp", "archive 3", 9, 0}, {"town.wld", "runtime 3", 9, 0}, {"gone/town.wle", "w", 1, 1}};
    EXPECT_EQ(FileWriteGroup(intoNowhere, 3), 3);
    EXPECT_EQ(ReadText("town.wxp"), "archive 2");
    ASSERT_EQ(FileWriteGroup(items, 3), 0);
    EXPECT_EQ(ReadText("town.wle"), "world 2");
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"town.wld", "town.wle", "town.wxp"}));
}

// A net's shapes are a batch of a thousand new files. A file that cannot be written, or
// flushed, in the middle of it leaves none of the batch and no temporary file, and the old
// files as they were; the batch then goes through whole.
TEST(Files, ABatchThatFailsInTheMiddleLeavesNothingOfItself)
{
    TempDir dir(true);
    WriteText("W~R00001.SHP", "old shape");
    const std::vector<std::string> before = Listing(".");
    const int count = 200;
    std::vector<std::string> names, texts;
    for (int i = 0; i < count; i++) {
        names.push_back("W~R" + std::to_string(10000 + i) + ".SHP");
        texts.push_back("shape " + std::to_string(i));
    }
    names[150] = "w~r00001.shp";   // an old file among the new ones, in another letter case
    std::vector<FileWriteItem> items;
    for (int i = 0; i < count; i++) items.push_back({names[(size_t)i].c_str(), texts[(size_t)i].data(), texts[(size_t)i].size(), 0});

    setenv("TOLBEX_FILE_FAULT", "full:100", 1);
    errno = 0;
    EXPECT_EQ(FileWriteGroup(items.data(), count), 100) << "the hundredth file is the one that failed";
    EXPECT_EQ(errno, ENOSPC);
    unsetenv("TOLBEX_FILE_FAULT");
    EXPECT_EQ(Listing("."), before);
    EXPECT_EQ(ReadText("W~R00001.SHP"), "old shape");

    failFlushIn = 120;
    errno = 0;
    int failed = FileWriteGroup(items.data(), count);
    failFlushIn = 0;
    EXPECT_GE(failed, 1);
    EXPECT_LE(failed, count);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(Listing("."), before) << "a flush that fails leaves no temporary file and no new name";
    EXPECT_EQ(ReadText("W~R00001.SHP"), "old shape");

    // The fault of one file leaves the others of a smaller batch alone.
    setenv("TOLBEX_FILE_FAULT", "full:300", 1);
    ASSERT_EQ(FileWriteGroup(items.data(), count), 0);
    unsetenv("TOLBEX_FILE_FAULT");
    for (int i = 0; i < count; i++) EXPECT_EQ(ReadText(i == 150 ? "W~R00001.SHP" : names[(size_t)i]), texts[(size_t)i]);
    EXPECT_EQ(Listing(".").size(), (size_t)count) << "no temporary file is left";
}

// Many files are deleted side by side: each one once, and each that is missing or cannot be
// removed (a folder that holds files) is counted.
TEST(Files, AGroupOfDeletionsRemovesEveryFileAndCountsTheOthers)
{
    TempDir dir(true);
    std::vector<std::string> names;
    for (int i = 0; i < 300; i++) {
        names.push_back("F" + std::to_string(i) + ".SHP");
        WriteText(names.back(), "x");
    }
    std::filesystem::create_directories("full/inside");
    WriteText("keep.shp", "kept");
    std::vector<const char*> list;
    for (const std::string& n : names) list.push_back(n.c_str());
    list.push_back("missing.shp");
    list.push_back("full");
    list.push_back("f7.shp");   // a file named twice is removed once, the second name counted
    EXPECT_EQ(FileDeleteGroup(list.data(), (int)list.size()), 3);
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"full", "keep.shp"}));
}
