// The document of a video file. Reading succeeds when the project has a duration; otherwise it fails with
// "Unsupported file format" (domain "Clipwell", code 1). Its window is a CWVideoDocumentWindowController. Main thread.
#pragma once

#include "CWBaseDocument.h"

class CWVideoDocument : public CWBaseDocument {
    Q_OBJECT
public:
    explicit CWVideoDocument(const QString& path) : CWBaseDocument(path) {}
    void makeWindowControllers() override;

protected:
    bool readFromURL(const QString& path, Error* error) override;
};
