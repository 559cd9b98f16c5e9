#include "tarnwick/core/programpath.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

TEST(ProgramPath, NamesResolveBesideTheRunningBinaryNotTheWorkingFolder)
{
    QTemporaryDir elsewhere;
    const QString old = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    EXPECT_EQ(ProgramPath::baseDir(), QCoreApplication::applicationDirPath());
    EXPECT_EQ(ProgramPath::resolve("fileoperate/Brellfin"),
              QCoreApplication::applicationDirPath() + "/fileoperate/Brellfin");
    EXPECT_EQ(ProgramPath::resolve("Quillet"), QCoreApplication::applicationDirPath() + "/Quillet");
    QDir::setCurrent(old);
}

TEST(ProgramPath, TestsMoveTheBaseFolderAndPutItBack)
{
    QTemporaryDir base;
    ProgramPath::setBaseDir(base.path());
    EXPECT_EQ(ProgramPath::resolve("fileoperate/Brellfin"), QDir(base.path()).absolutePath() + "/fileoperate/Brellfin");
    EXPECT_EQ(ProgramPath::resolve("./Quillet"), QDir(base.path()).absolutePath() + "/Quillet");
    ProgramPath::setBaseDir(QString());
    EXPECT_EQ(ProgramPath::baseDir(), QCoreApplication::applicationDirPath());
}

// Beside the test programs as beside Tarnwick: the file tool is where the
// build puts it.
TEST(ProgramPath, TheFileToolIsWhereTheBuildPutsBrellfin)
{
    EXPECT_EQ(ProgramPath::brellfin(), QCoreApplication::applicationDirPath() + "/fileoperate/Brellfin");
    EXPECT_TRUE(QFileInfo(ProgramPath::brellfin()).isExecutable()) << ProgramPath::brellfin().toStdString();
}
