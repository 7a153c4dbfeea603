// Turns clipwell_cli's arguments into settled choices: the operation (help, version, setup status,
// export), input and output paths, preset, the ordered cut and split times, and export options; owns
// the help and version texts; and applies the choices to a project in a fixed order.
//
// It never prints, never exits and touches files only through the project. A parse error stops
// parsing at the bad argument and is kept (parseError()), so the driver can stop with it instead of
// exporting with half the arguments. Main thread.
#pragma once

#include "CMTime.h"
#include "CWCutsFiles.h"
#include "CWExportTarget.h"
#include "CWTimeOperation.h"
#include "Error.h"
#include "MediaSource.h"
#include "PassthroughMode.h"

#include <QStringList>

#include <atomic>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class CWProject;

class CWCommandLineParser {
public:
    enum Operation : int64_t { NoOperation = 0, ShowHelp = 1, ShowVersion = 2, ShowSetup = 3, Export = 4 };
    enum ErrorCode { InvalidArguments = 1 };

    // Parses at once; a failure is kept in parseError() (and logged with --debug). --json anywhere on
    // the line counts, even after the argument that stopped the parsing.
    static std::unique_ptr<CWCommandLineParser> parserWithArguments(const QStringList& arguments);
    bool parseArguments(const QStringList& arguments, Error* error);

    const std::optional<Error>& parseError() const { return parseError_; }
    int64_t operation() const { return operation_; }
    bool shouldShowHelp() const { return operation_ == ShowHelp; }
    bool shouldShowVersion() const { return operation_ == ShowVersion; }
    bool shouldShowSetup() const { return operation_ == ShowSetup; }
    const QString& inputFile() const { return inputFile_; }
    const QString& outputFile() const { return outputFile_; }
    // Absolute paths (relative ones against the current folder); empty when not given.
    // The input and output as the user named them (made absolute), for messages.
    QString inputFileURL() const;
    QString outputFileURL() const;
    // What the input is read from and where the output is written: found by the names given unless
    // useFiles() gave the files to use.
    MediaSource inputSource() const { return input_.isEmpty() ? MediaSource(inputFileURL()) : input_; }
    CWExportTarget outputTarget() const { return output_.isEmpty() ? CWExportTarget(outputFileURL()) : output_; }
    // --save-cuts: where the edits are written as a cut list (made absolute), and the file to write.
    QString saveCutsFileURL() const;
    CWExportTarget saveCutsTarget() const { return saveCuts_.isEmpty() ? CWExportTarget(saveCutsFileURL()) : saveCuts_; }
    // The files the tool checked and holds open (and the outputs in their held folders), for
    // inputFileURL(), outputFileURL(), cutsFiles(), artworkPath() and saveCutsFileURL() in this order.
    void useFiles(const MediaSource& input, const CWExportTarget& output, const std::vector<MediaSource>& cuts, const MediaSource& artwork,
                  const CWExportTarget& saveCuts);
    bool useMultipleFiles() const { return useMultipleFiles_; }
    const QString& presetName() const { return presetName_; }
    const std::vector<CWTimeOperation>& timeOperations() const { return timeOperations_; }
    // The times of --snapshot, in order: with any, the run keeps those frames and exports nothing.
    const std::vector<CMTime>& snapshotTimes() const { return snapshotTimes_; }
    // --list-tracks: the run prints the input's tracks and exports nothing.
    bool listTracks() const { return listTracks_; }
    bool overwrite() const { return overwrite_; }
    bool clearStart() const { return clearStart_; }
    bool jsonOutput() const { return jsonOutput_; }
    bool debugOutput() const { return debugOutput_; }
    bool enforceSmallArtwork() const { return enforceSmallArtwork_; }
    int64_t volumePercentage() const { return volumePercentage_; }
    const std::map<QString, QString>& customMetadata() const { return customMetadata_; }
    const QString& artworkPath() const { return artworkPath_; }
    // The files named by --cuts-from, in order; their times are read by loadCutsFiles().
    QStringList cutsFiles() const;
    // Reads each --cuts-from file (see CWCutsFiles): plain times into the cuts at its place among the
    // other time options, other cut lists for when the project is configured. Call it once the files
    // are known to be in the grant. Stops, failing, once *stop is set.
    bool loadCutsFiles(Error* error, const std::atomic<bool>* stop = nullptr);

    static QString helpText();
    static QString versionText();

    // Preset, tracks, cuts and splits, volume, metadata, artwork, in this order; stops at the first step that
    // fails, with an error that says what was refused.
    bool configureProject(CWProject& project, Error* error);
    bool applyPresetToProject(CWProject& project, Error* error);
    bool applyTracksToProject(CWProject& project, Error* error);
    bool applyCutsToProject(CWProject& project, Error* error);
    bool applyVolumeToProject(CWProject& project);
    bool applyMetadataToProject(CWProject& project);
    bool applyArtworkToProject(CWProject& project, Error* error);

    // Seconds ("90.5"), M:S ("1:30.5") or H:M:S ("00:01:30.500") at millisecond resolution; an invalid
    // time for anything else (negative, empty, extra pieces, not a number, too large).
    static CMTime parseTimeString(const QString& text);

private:
    bool takeValue(const QStringList& arguments, qsizetype& index, const QString& missingMessage, QString& value, Error* error);
    // The time after an option; false (with the error) when it is missing or no time.
    bool takeTime(const QString& option, const QString& missing, const QStringList& arguments, qsizetype& index, CMTime& time,
                  Error* error);
    bool handleTimeOption(const QString& option, CWTimeOperation::Type type, const QStringList& arguments, qsizetype& index, Error* error);
    bool handleVolumeOption(const QStringList& arguments, qsizetype& index, Error* error);
    bool handleTracksOption(const QStringList& arguments, qsizetype& index, Error* error);
    bool handleHelpAndVersionOptions(const QString& argument);
    static bool failTwice(Error* error);
    bool handlePositionalArgument(const QString& argument, Error* error);

    int64_t operation_ = NoOperation;
    QString inputFile_;
    QString outputFile_;
    MediaSource input_;
    CWExportTarget output_;
    QString saveCutsFile_;
    CWExportTarget saveCuts_;
    bool useMultipleFiles_ = false;
    QString presetName_ = QStringLiteral("passthrough");
    std::optional<PassthroughMode> passthroughMode_;
    std::vector<CWTimeOperation> timeOperations_;
    std::vector<CMTime> snapshotTimes_;
    bool listTracks_ = false;
    std::vector<int> chosenTracks_; // --tracks, as --list-tracks numbers them; empty: every track
    CWCutsFiles cutsFiles_;
    bool overwrite_ = false;
    bool clearStart_ = false;
    bool jsonOutput_ = false;
    bool debugOutput_ = false;
    bool enforceSmallArtwork_ = false;
    int64_t volumePercentage_ = 0;
    std::map<QString, QString> customMetadata_;
    QString artworkPath_; // as given
    MediaSource artwork_; // the file to read, once useFiles() gave it
    std::optional<Error> parseError_;
};
