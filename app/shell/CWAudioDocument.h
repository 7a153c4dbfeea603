// The document of an audio file. Reading succeeds when the project has a duration and the file at least one
// audio track; otherwise it fails with
// "Unsupported audio file format" (domain "Clipwell", code 1). Its window is a CWAudioDocumentWindowController. Main thread.
#pragma once

#include "CWBaseDocument.h"

class CWAudioDocument : public CWBaseDocument {
    Q_OBJECT
public:
    explicit CWAudioDocument(const QString& path) : CWBaseDocument(path) {}
    void makeWindowControllers() override;

protected:
    bool readFromURL(const QString& path, Error* error) override;
};
