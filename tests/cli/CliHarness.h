// What every test of the real clipwell_cli needs: a temporary granted folder (the bookmark made once
// per test program in its own container folder), copies of fixtures inside it, a way to run the tool
// there (optionally through a shell, e.g. behind "ulimit -f 8; exec"), ffprobe's view of the results and the
// hidden working files an export may have left behind. Main thread only.
#pragma once

#include "CWBookmarkManager.h"
#include "support/TestMedia.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

struct CliOutcome {
    int status = -1;      // the exit status; -1 when the process crashed or had to be killed
    bool crashed = false; // ended by a signal or killed after the time-out
    QString out, err;
};

class CliHarness : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = new QTemporaryDir();
        container = root->path() + QStringLiteral("/container");
        granted = root->path() + QStringLiteral("/media");
        QDir().mkpath(granted);
        qputenv("CLIPWELL_CONTAINER_DIR", container.toUtf8());
        Error error;
        ASSERT_TRUE(CWBookmarkManager::sharedManager().createBookmarkForFolder(granted, &error)) << error.message.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete root;
        root = nullptr;
    }

    // A copy of a fixture inside the granted folder.
    static QString inside(const QString& fixture, const QString& name)
    {
        const QString path = granted + QLatin1Char('/') + name;
        if (!QFile::exists(path))
            QFile::copy(fixture, path);
        return path;
    }

    // Starts clipwell_cli in the granted folder. A shellPrefix runs it through bash as
    // `<shellPrefix> "$0" "$@"`, e.g. "ulimit -f 8; exec".
    static void start(QProcess& process, const QStringList& arguments, const QString& shellPrefix = {})
    {
        process.setWorkingDirectory(granted);
        if (shellPrefix.isEmpty())
            process.start(QStringLiteral(CLIPWELL_CLI), arguments);
        else
            process.start(QStringLiteral("bash"),
                          QStringList{QStringLiteral("-c"), shellPrefix + QStringLiteral(" \"$0\" \"$@\""), QStringLiteral(CLIPWELL_CLI)} +
                              arguments);
    }
    // Waits for a started process; kills it when it takes longer than timeoutMs (a hang).
    static CliOutcome finish(QProcess& process, int timeoutMs = 180000)
    {
        CliOutcome outcome;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            outcome.crashed = true;
        }
        outcome.crashed = outcome.crashed || process.exitStatus() != QProcess::NormalExit;
        outcome.status = outcome.crashed ? -1 : process.exitCode();
        outcome.out = QString::fromUtf8(process.readAllStandardOutput());
        outcome.err = QString::fromUtf8(process.readAllStandardError());
        if (outcome.crashed)
            outcome.err += QStringLiteral("\n[%1; exit status %2]").arg(process.errorString()).arg(process.exitCode());
        return outcome;
    }
    static CliOutcome run(const QStringList& arguments, const QString& shellPrefix = {}, int timeoutMs = 180000)
    {
        QProcess process;
        start(process, arguments, shellPrefix);
        return finish(process, timeoutMs);
    }

    static QJsonObject tags(const QString& path)
    {
        return TestMedia::probe(path).value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
    }
    static QJsonArray streams(const QString& path) { return TestMedia::probe(path).value(QStringLiteral("streams")).toArray(); }
    static double duration(const QString& path)
    {
        return TestMedia::probe(path).value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
    }
    // The file's audio as ffmpeg decodes it (all its channels, its own rate), as raw samples of the
    // format ("s16le", "s32le").
    static QByteArray decodedAudio(const QString& path, const char* sampleFormat)
    {
        QByteArray bytes;
        TestMedia::run(QStringLiteral("ffmpeg"),
                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-map"),
                        QStringLiteral("0:a"), QStringLiteral("-f"), QString::fromLatin1(sampleFormat), QStringLiteral("-")},
                       &bytes);
        return bytes;
    }
    static std::vector<int16_t> pcm16(const QString& path)
    {
        const QByteArray bytes = decodedAudio(path, "s16le");
        std::vector<int16_t> samples(size_t(bytes.size()) / 2);
        memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }
    // Hidden working files that an export left behind anywhere in the granted folder.
    static QStringList leftovers()
    {
        QStringList found;
        QDirIterator it(granted, {QStringLiteral(".*partial*"), QStringLiteral(".cw-*")}, QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found;
    }

    static inline QTemporaryDir* root = nullptr;
    static inline QString container, granted;
};
