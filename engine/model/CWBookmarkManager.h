// Keeps the one folder the user granted to the command-line tool: the application writes its bookmark
// into "cli-access-bookmark.data" in the shared container, the tool reads it back. One instance per
// process (sharedManager(), made once even under concurrent first calls). With verbose on, every step
// is logged with the prefix "[CWBookmarkManager] ". Failures come back as a false or empty result and
// the error (domain "CWBookmarkManager" codes 1 to 3, or the platform's error unchanged); nothing is
// retried. A folder that is no longer the one granted (replaced, or its path now leads through a link)
// is stale: it is refused, never granted anew behind the user's back. File operations are not synchronised with each other; writes are
// atomic, so a reader in another process sees either the old or the new file.
#pragma once

#include "Error.h"
#include "FolderBookmark.h"

#include <QString>

#include <atomic>
#include <optional>

class CWBookmarkManager {
public:
    enum ErrorCode { NoContainer = 1, NoBookmark = 2, StaleBookmark = 3, RefusedFolder = 4 };

    static CWBookmarkManager& sharedManager();
    // The shared container, made with `create` (empty when it cannot be); only a grant makes it.
    static QString sharedContainerURL(bool create = false);

    // Empty when there is no container.
    QString bookmarkFileURL(bool create = false) const;
    bool createBookmarkForFolder(const QString& folder, Error* error);
    // The granted folder, and (when asked) the identity it was granted with; a stale one fails.
    std::optional<QString> resolveBookmark(Error* error, FolderBookmark::Identity* identity = nullptr);
    bool hasBookmark() const;
    void removeBookmark();

    bool verbose() const { return verbose_; }
    void setVerbose(bool verbose) { verbose_ = verbose; }

private:
    CWBookmarkManager() = default;
    void log(const QString& message) const;

    std::atomic<bool> verbose_{false};
};
