// The fixture of clipwell_cli's fault tests: the presets with the extension each writes, a look at every
// file under the granted folder, and the checks each fault test makes of a run. Main thread only.
#pragma once

#include "CliHarness.h"

#include <QJsonDocument>
#include <QtEndian>
#include <QThread>

#include <array>
#include <csignal>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestMedia;

struct Preset {
    const char* name;
    const char* extension;
    bool needsVideo;
};
inline const Preset kPresets[] = {{"passthrough", "mp4", false}, {"h264", "mp4", true},  {"h265", "mp4", true},
                                  {"low", "mp4", true},          {"m4a", "m4a", false},  {"alac", "m4a", false},
                                  {"flac", "flac", false},       {"lame", "mp3", false}, {"qoa", "qoa", false}};

// Every file below the granted folder, hidden ones included.
inline std::set<QString> filesIn(const QString& folder)
{
    std::set<QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(it.next());
    return files;
}

class CliFaultTest : public CliHarness {
protected:
    static void SetUpTestSuite()
    {
        CliHarness::SetUpTestSuite();
        // Runs as an unprivileged user (see runAsUser) must reach the granted folder and the grant.
        for (const QString& path : {root->path(), container})
            QFile::setPermissions(path, QFile::Permissions(0x7777));
        QFile::setPermissions(container + QStringLiteral("/cli-access-bookmark.data"), QFile::Permissions(0x6644));
        QFile::setPermissions(granted, QFile::Permissions(0x7777));
    }

    // 3 s of 96×64 H.264 with B-frames and stereo AAC: quick to export with every preset.
    static QString clip()
    {
        return inside(make(QStringLiteral("fault-clip.mp4"),
                           {"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25:d=3", "-f", "lavfi", "-i", "sine=f=330:d=3:sample_rate=44100",
                            "-ac", "2", "-c:v", "libx264", "-g", "25", "-c:a", "aac", "-metadata", "title=Clip", "-shortest"}),
                      QStringLiteral("clip.mp4"));
    }
    // 8 s of 320×240 with its index in front, so that a copy cut short still opens.
    static QString longer()
    {
        return make(QStringLiteral("fault-longer.mp4"),
                    {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=8", "-f", "lavfi", "-i", "sine=f=500:d=8", "-c:v", "libx264",
                     "-preset", "ultrafast", "-c:a", "aac", "-movflags", "+faststart", "-shortest"});
    }

    // A subtitle file in SubRip form.
    static QString subtitles()
    {
        const QString path = folder() + QStringLiteral("/fault.srt");
        writeFile(path, "1\n00:00:00,000 --> 00:00:01,500\nOnly words here\n");
        return path;
    }

    // A shell prefix that drops root's privileges, so that folder permissions apply to the tool.
    // Runs the tool as an unprivileged user when the tests run as root, so that folder permissions
    // apply to it: a copy of the tool in the shared temporary folder, in case the build folder is
    // not reachable for that user.
    static CliOutcome runAsUser(const QStringList& arguments)
    {
        if (geteuid() != 0)
            return run(arguments);
        const QString tool = root->path() + QStringLiteral("/clipwell_cli");
        if (!QFile::exists(tool))
            QFile::copy(QStringLiteral(CLIPWELL_CLI), tool);
        QProcess process;
        process.setWorkingDirectory(granted);
        process.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                             QStringLiteral("--clear-groups"), tool} +
                                                     arguments);
        return finish(process);
    }

    // Outputs of a preset: "<base>.<ext>" for one file, or the folder for one file per piece.
    static QStringList target(const Preset& preset, const QString& base, bool pieces)
    {
        if (pieces)
            return {"--split-export", base, "-s", "1.5"};
        return {"-o", base + QLatin1Char('.') + QLatin1String(preset.extension)};
    }

    // A failure as the user should see it: status 1, an error that says something (a line "Error: …"
    // or a JSON error message), no crash, no working files left, nothing new in the folder. Pieces
    // finished before the failure stay, as complete files in `piecesFolder`.
    static void expectCleanFailure(const CliOutcome& r, const std::set<QString>& before, const std::string& context,
                                   const QString& piecesFolder = {})
    {
        SCOPED_TRACE(context);
        EXPECT_FALSE(r.crashed) << r.err.toStdString();
        EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
        QString message;
        for (const QString& line : r.out.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("Error: ")))
                message = line.mid(7);
            const QJsonObject json = QJsonDocument::fromJson(line.toUtf8()).object();
            if (json.value(QStringLiteral("type")).toString() == QLatin1String("error"))
                message = json.value(QStringLiteral("message")).toString();
        }
        EXPECT_GT(message.size(), 12) << r.out.toStdString();
        for (const QString& file : filesIn(granted)) {
            if (before.count(file))
                continue;
            const bool piece = !piecesFolder.isEmpty() && QFileInfo(file).path() == piecesFolder && !QFileInfo(file).isHidden();
            EXPECT_TRUE(piece) << "left behind: " << file.toStdString();
            if (piece && !file.endsWith(QLatin1String(".qoa"))) {
                EXPECT_GT(duration(file), 0.5) << "a finished piece: " << file.toStdString();
            }
        }
        EXPECT_TRUE(leftovers().isEmpty());
    }

    // A finished export: status 0 and a file ffprobe reads with about the expected length.
    static void expectExport(const CliOutcome& r, const QString& file, double seconds, const std::string& context)
    {
        SCOPED_TRACE(context);
        EXPECT_FALSE(r.crashed) << r.err.toStdString();
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        ASSERT_TRUE(QFile::exists(file)) << file.toStdString();
        if (file.endsWith(QLatin1String(".qoa"))) {
            EXPECT_TRUE(contents(file).startsWith("qoaf")); // ffprobe does not read QOA; its own tests decode it
        } else if (seconds > 0) {
            EXPECT_NEAR(duration(file), seconds, 0.1);
        }
        EXPECT_TRUE(leftovers().isEmpty());
    }
};
