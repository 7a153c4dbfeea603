#include "CWVideoDocument.h"

#include "CWDocumentWindowController.h"
#include "CWProject.h"

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
    auto* window = new CWDocumentWindowController(this);
    addWindowController(window);
    window->show();
}
