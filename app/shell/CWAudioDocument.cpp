#include "CWAudioDocument.h"

#include "CWAudioDocumentWindowController.h"
#include "CWProject.h"
#include "MediaAsset.h"

bool CWAudioDocument::readFromURL(const QString& path, Error* error)
{
    Error openError;
    if (readProject(path, &openError) && CMTimeCompare(project()->duration(), kCMTimeZero) > 0 &&
        !project()->avAsset()->tracksWithMediaType(MediaType::Audio).empty())
        return true;
    Error unsupported = readError(tr("Unsupported audio file format"));
    unsupported.failureReason = openError.message;
    setError(error, unsupported);
    return false;
}

void CWAudioDocument::makeWindowControllers()
{
    auto* window = new CWAudioDocumentWindowController(this);
    window->windowDidLoad();
    addWindowController(window);
    window->show();
}
