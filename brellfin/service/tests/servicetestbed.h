#pragma once

// A fake file service, a facade connected to it and a temporary folder for
// the PC side's files.

#include "brellfin/service/fileserviceclient.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

inline std::vector<uint8_t> patternBytes(size_t size, uint32_t seed = 1)
{
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    for (auto& b : bytes)
        b = uint8_t(random());
    return bytes;
}

class ServiceTestBed : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_client.connect(FF::Net::Address(m_panel.endpoint().c_str())));
        m_panel.clearLog();
    }

    std::string localFile(const std::string& name) const
    {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }

    void writeLocal(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())), qint64(bytes.size()));
    }

    std::vector<uint8_t> readLocal(const std::string& path) const
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = file.readAll();
        return std::vector<uint8_t>(all.begin(), all.end());
    }

    // Offsets of the calls of method, taken from argument index.
    std::vector<uint64_t> numbersOf(const std::string& method, size_t index) const
    {
        std::vector<uint64_t> values;
        for (const auto& call : m_panel.log())
            if (call.method == method && call.args.size() > index)
                values.push_back(call.args[index].number);
        return values;
    }

    Fake::FakeFileService m_panel;
    FileServiceClient m_client;
    QTemporaryDir m_dir;
};
