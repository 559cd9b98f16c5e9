#pragma once

// One folder of the panel as the remote list shows it, and the order of its
// rows when a column is sorted.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class FileServiceClient;

struct RemoteEntry {
    std::string name;
    bool isFolder = false;
    // Files only: "%d KB"; empty when the panel gave no size.
    QString sizeText;
    // "%Y/%m/%d %H:%M:%S" in local time; empty when the panel gave none.
    QString timeText;
};

namespace RemoteListing {

// "0 KB" for an empty file, else the size in whole kilobytes plus one.
QString sizeText(std::uint64_t bytes);
// Local time of seconds since the epoch; empty for -1 or a time that does
// not convert.
QString timeText(std::int64_t seconds);

// The folders (each with its time), then the files (each with its size and
// time), in the panel's order, with the calls in that order. Names that are
// not plain (empty, ".", "..", holding "/" or a zero byte) are left out.
// Nothing when the panel did not answer the folders' or the files' listing:
// what the folder holds is then unknown, and an empty list would show it empty.
std::optional<std::vector<RemoteEntry>> list(FileServiceClient& fs, const std::string& folder);

// Compares two cell texts of a column for the sort: names and types without
// regard to case, sizes by their number of kilobytes, dates to the minute;
// negative, 0 or positive as a sorts before, with or after b in the
// direction asked. Any other column compares equal.
int compareItems(int column, const QString& a, const QString& b, bool ascending);

} // namespace RemoteListing
