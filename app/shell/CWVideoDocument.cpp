#include "CWVideoDocument.h"

#include "CWProject.h"
#include "CWVideoDocumentWindowController.h"

bool CWVideoDocument::readFromURL(const QString& path, Error* error)
{
    Error openError;
    if (readProject(path, &openError) && CMTimeCompare(project()->duration(), kCMTimeZero) > 0)
        return true;
    Error unsupported = readError(tr("Unsupported file format"));
    unsupported.failureReason = openError.message;
    setError(error, unsupported);
    return false;
}

void CWVideoDocument::makeWindowControllers()
{
    auto* window = new CWVideoDocumentWindowController(this);
    window->windowDidLoad();
    addWindowController(window);
    window->show();
}
