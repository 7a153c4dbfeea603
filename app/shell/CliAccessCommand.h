// The application's command-line handling of the folder granted to clipwell_cli, for machines without
// a desktop; the preferences window calls the same bookmark-manager operations.
//   --grant-cli-access FOLDER   the folder must exist and be a folder; prints the granted folder
//   --revoke-cli-access         withdraws the grant
//   --show-cli-access           prints the granted folder, or "No folder selected"
// run() returns the exit status: 0 on success, 1 with an "Error: ..." line on standard error, and
// std::nullopt when the arguments ask for none of these. Main thread.
#pragma once

#include <QStringList>

#include <optional>

class CliAccessCommand {
public:
    static std::optional<int> run(const QStringList& arguments);
    static QString usage();
};
