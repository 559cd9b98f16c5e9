#include "brellfin/lists/remotelisting.h"

#include "brellfin/service/fileserviceclient.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <utime.h>

namespace {

// Local times in a fixed zone for the test's life.
class FixedTimeZone {
public:
    FixedTimeZone()
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~FixedTimeZone()
    {
        if (m_had)
            ::setenv("TZ", m_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(RemoteListing, FoldersThenFilesWithSizesAndTimesInThePanelsCallOrder)
{
    FixedTimeZone utc;
    Fake::FakeFileService panel;
    FileServiceClient client;
    ASSERT_TRUE(client.connect(FF::Net::Address(panel.endpoint().c_str())));
    for (const char* folder : {"c", "a", "b"})
        panel.putFile(std::string("/storage/user_dir/d/") + folder + "/x", {1});
    const std::vector<std::pair<std::string, size_t>> files = {
        {"f0", 0}, {"f1", 1}, {"f1023", 1023}, {"f1024", 1024}, {"f5000", 5000}};
    for (const auto& [name, size] : files) {
        const std::string path = "/storage/user_dir/d/" + name;
        panel.putFile(path, std::vector<uint8_t>(size, 7));
        const utimbuf times{1546300799, 1546300799}; // 2018/12/31 23:59:59 UTC
        ASSERT_EQ(::utime(panel.localPath(path)->c_str(), &times), 0);
    }
    panel.clearLog();

    const std::vector<RemoteEntry> entries = RemoteListing::list(client, "/storage/user_dir/d").value();
    ASSERT_EQ(entries.size(), 8u);
    QStringList names, sizes, times;
    for (const RemoteEntry& entry : entries) {
        names << QString::fromStdString(entry.name);
        if (!entry.isFolder) {
            sizes << entry.sizeText;
            times << entry.timeText;
        } else {
            EXPECT_TRUE(entry.sizeText.isEmpty());
            EXPECT_FALSE(entry.timeText.isEmpty());
        }
    }
    EXPECT_EQ(names, QStringList({"a", "b", "c", "f0", "f1", "f1023", "f1024", "f5000"}));
    EXPECT_EQ(sizes, QStringList({"0 KB", "1 KB", "1 KB", "2 KB", "5 KB"}));
    EXPECT_EQ(times, QStringList({"2018/12/31 23:59:59", "2018/12/31 23:59:59", "2018/12/31 23:59:59",
                                  "2018/12/31 23:59:59", "2018/12/31 23:59:59"}));

    std::vector<std::string> expected = {"searchFolders", "getFileModifyTime", "getFileModifyTime", "getFileModifyTime",
                                         "searchFiles"};
    for (int i = 0; i < 5; ++i) {
        expected.push_back("getFileSize");
        expected.push_back("getFileModifyTime");
    }
    EXPECT_EQ(panel.methods(), expected);
}

TEST(RemoteListing, HostileNamesAreNotListed)
{
    Fake::FakeFileService panel;
    FileServiceClient client;
    ASSERT_TRUE(client.connect(FF::Net::Address(panel.endpoint().c_str())));
    panel.setSearchNames(std::vector<std::string>{"..", "a/b", "ok"}, std::vector<std::string>{".", "", "sub"});
    const std::vector<RemoteEntry> entries = RemoteListing::list(client, "/storage/user_dir").value();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "sub");
    EXPECT_EQ(entries[1].name, "ok");
}

TEST(RemoteListing, TextsOfSizesAndTimesAtTheirEdges)
{
    // Sizes of 0 to 5000 bytes are read through the listing above.
    FixedTimeZone utc;
    EXPECT_EQ(RemoteListing::sizeText(uint64_t(1) << 42), "4294967297 KB");
    EXPECT_EQ(RemoteListing::timeText(-1), QString());
    EXPECT_EQ(RemoteListing::timeText(0), "1970/01/01 00:00:00");
    EXPECT_EQ(RemoteListing::timeText(1546682400), "2019/01/05 10:00:00");
}

TEST(RemoteListing, ItemComparisonsPerColumn)
{
    using RemoteListing::compareItems;
    EXPECT_LT(compareItems(0, "apple", "Banana", true), 0);
    EXPECT_GT(compareItems(0, "apple", "Banana", false), 0);
    EXPECT_EQ(compareItems(0, "Same", "same", true), 0);
    EXPECT_LT(compareItems(1, "9 KB", "10 KB", true), 0);
    EXPECT_LT(compareItems(1, "", "1 KB", true), 0);
    EXPECT_LT(compareItems(3, "2018/12/31 23:59:59", "2019/01/05 10:00:00", true), 0);
    EXPECT_EQ(compareItems(3, "2019/01/05 10:00:01", "2019/01/05 10:00:59", true), 0);
    EXPECT_EQ(compareItems(-1, "a", "b", true), 0);
    EXPECT_EQ(compareItems(4, "a", "b", false), 0);
}

TEST(RemoteListing, SortingIsStableForEqualKeys)
{
    // 1,000 equal names and a few others: a comparison that never answers
    // "equal" breaks std::sort's contract; this one keeps equal rows in order.
    std::vector<std::pair<QString, int>> rows;
    for (int i = 0; i < 1000; ++i)
        rows.emplace_back(i % 97 == 0 ? QString("b%1").arg(i % 3) : QString("same"), i);
    for (bool ascending : {true, false}) {
        std::vector<std::pair<QString, int>> sorted = rows;
        std::stable_sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
            return RemoteListing::compareItems(0, a.first, b.first, ascending) < 0;
        });
        for (size_t i = 1; i < sorted.size(); ++i) {
            const int order = RemoteListing::compareItems(0, sorted[i - 1].first, sorted[i].first, ascending);
            ASSERT_LE(order, 0);
            if (order == 0) {
                ASSERT_LT(sorted[i - 1].second, sorted[i].second);
            }
        }
        EXPECT_EQ(sorted.front().first, ascending ? "b0" : "same");
    }
}

} // namespace
