#include "skerrow/filepathchecker.h"
#include "skerrow/filepathhandler.h"
#include "skerrow/skerrow.h"

#include <gtest/gtest.h>

#include <string>

using FF::COMMON::FilePathChecker;

namespace {

struct PathCase {
    std::string input;
    int result;
    std::string output;
};

std::string names(int count, const std::string& name = "n")
{
    std::string path;
    for (int i = 0; i < count; ++i)
        path += (i ? "/" : "") + name;
    return path;
}

// Records what the handler asks, and fails on request.
class RecordingChecker : public FF::COMMON::IPathChecker {
public:
    bool checkPath(const std::string& path) override
    {
        paths += "[" + path + "]";
        return true;
    }
    bool checkName(const std::string& name) override
    {
        namesSeen += "[" + name + "]";
        return name != failOn;
    }
    void release() override { ++releases; }
    int error() override { return 0; }

    std::string paths;
    std::string namesSeen;
    std::string failOn = "<none>";
    int releases = 0;
};

} // namespace

TEST(GetFilePath, NormalisesAndChecksByTable)
{
    const PathCase cases[] = {
        {"a\\\\b//c\\", 0, "a/b/c/"},
        {"/x", 0, "/x"},
        {"dir/name. ", 0, "dir/name"},
        {"\\\\server//share", 0, "/server/share"},
        {"  a/b  \r\n", 0, "a/b"},
        {"a\r\n/b", 0, "a/b"},
        {"./a", 0, "./a"},
        {"a/ b\t./c", 0, "a/b/c"},
        {"a/../b", -1, "a/../b"},
        {"..", -1, ".."},
        {"C:/x", -1, "C:/x"},
        {"a*b", -1, "a*b"},
        {"a?b", -1, "a?b"},
        {"a<b", -1, "a<b"},
        {"a>b", -1, "a>b"},
        {"a|b", -1, "a|b"},
        {"a\"b", -1, "a\"b"},
        {"", -1, ""},
        {" \r\n ", -1, " \r\n "},
        {"a/.../b", -1, "a/.../b"},
    };
    for (const PathCase& c : cases) {
        std::string path = c.input;
        EXPECT_EQ(c.result, Vexa_GetFilePath(&path)) << "input [" << c.input << "]";
        EXPECT_EQ(c.output, path) << "input [" << c.input << "]";
    }
}

TEST(GetFilePath, NameOf228BytesPassesAnd229Fails)
{
    std::string ok = "dir/" + std::string(228, 'a');
    EXPECT_EQ(0, Vexa_GetFilePath(&ok));
    EXPECT_EQ("dir/" + std::string(228, 'a'), ok);

    const std::string tooLong = "dir/" + std::string(229, 'a');
    std::string path = tooLong;
    EXPECT_EQ(-1, Vexa_GetFilePath(&path));
    EXPECT_EQ(tooLong, path);

    // Trailing full stops are cleaned off before the length is checked.
    std::string trimmed = std::string(228, 'a') + "...";
    EXPECT_EQ(0, Vexa_GetFilePath(&trimmed));
    EXPECT_EQ(std::string(228, 'a'), trimmed);
}

TEST(GetFilePath, FiveHundredNamesPassAndFiveHundredOneFail)
{
    std::string ok = names(500);
    EXPECT_EQ(0, Vexa_GetFilePath(&ok));
    EXPECT_EQ(names(500), ok);

    std::string tooMany = "\\" + names(501) + "\\";
    const std::string before = tooMany;
    EXPECT_EQ(-1, Vexa_GetFilePath(&tooMany));
    EXPECT_EQ(before, tooMany);
}

TEST(FilePathChecker, SetsTheCodeOfTheFailedCheck)
{
    struct CodeCase {
        std::string input;
        int code;
    };
    const CodeCase cases[] = {
        {"a/b", 0},
        {"", FilePathChecker::kEmptyPath},
        {"a:b", FilePathChecker::kForbiddenCharacter},
        {"a/../b", FilePathChecker::kEmptyName},
        {std::string(229, 'x'), FilePathChecker::kNameTooLong},
        {names(501), FilePathChecker::kTooManyNames},
    };
    for (const CodeCase& c : cases) {
        FilePathChecker checker;
        std::string path = c.input;
        Vexa_HandleFilePath(&path, &checker);
        EXPECT_EQ(c.code, checker.error()) << c.input.substr(0, 20);
        if (c.code != 0) {
            EXPECT_EQ(c.input, path);
        }
    }
}

TEST(FilePathChecker, CountsNamesOverEveryPathItChecks)
{
    FilePathChecker checker;
    std::string first = names(300);
    Vexa_HandleFilePath(&first, &checker);
    EXPECT_EQ(0, checker.error());
    std::string second = names(201);
    Vexa_HandleFilePath(&second, &checker);
    EXPECT_EQ(FilePathChecker::kTooManyNames, checker.error());
    EXPECT_EQ(names(201), second);
}

TEST(HandleFilePath, ParentNameWithoutCheckerStaysAsAnEmptyPart)
{
    std::string path = "a/../b";
    Vexa_HandleFilePath(&path, nullptr);
    EXPECT_EQ("a//b", path);

    std::string dots = "../../etc";
    Vexa_HandleFilePath(&dots, nullptr);
    EXPECT_EQ("//etc", dots);
}

TEST(HandleFilePath, ConsultsTheCheckerWithCleanedTextsAndReleasesItOnce)
{
    RecordingChecker checker;
    std::string path = " \\one. /two\t/\r\n";
    Vexa_HandleFilePath(&path, &checker);
    EXPECT_EQ("/one/two/", path);
    EXPECT_EQ("[\\one. /two\t/]", checker.paths);
    EXPECT_EQ("[one][two]", checker.namesSeen);
    EXPECT_EQ(1, checker.releases);

    RecordingChecker refusing;
    refusing.failOn = "b";
    std::string refused = "a/b/c";
    Vexa_HandleFilePath(&refused, &refusing);
    EXPECT_EQ("a/b/c", refused);
    EXPECT_EQ("[a][b]", refusing.namesSeen);
    EXPECT_EQ(1, refusing.releases);
}

TEST(HandleFilePath, NullArgumentsAreRefused)
{
    Vexa_HandleFilePath(nullptr, nullptr);
    EXPECT_EQ(-1, Vexa_GetFilePath(nullptr));
}

TEST(HandleFilePath, HandlerKeepsADotName)
{
    FF::COMMON::FilePathHandler handler(nullptr);
    std::string dot = ".";
    handler.cleanName(dot);
    EXPECT_EQ(".", dot);
    std::string trailing = "  name. \t.";
    handler.cleanName(trailing);
    EXPECT_EQ("name", trailing);
    EXPECT_EQ(3u, handler.skipSeparators("a//\\b", 1));
    EXPECT_EQ(1u, handler.skipSeparators("a/b", 1));
}
