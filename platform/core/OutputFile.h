// A binary file written by an encoder of our own (MP3, QOA): opened for writing from the start, written
// in pieces, patched at an offset (a header or a tag whose content is known only at the end), and
// closed with a flush. Every failure (the folder refusing the file, a full disk, a file-size limit)
// becomes an error of the owner's domain that names the file or says why, in the system's words.
//
// One thread at a time. Destroying an open file closes it without checking: the owner removes a file
// it gave up.
#pragma once

#include "Error.h"

#include <cstdint>
#include <cstdio>
#include <memory>

class OutputFile {
public:
    // The owner's error domain and codes, and the kind of file for the messages ("MP3").
    OutputFile(QString domain, int openFailureCode, int writeFailureCode, QString kind);

    bool open(const QString& path, Error* error);
    bool write(const void* data, size_t size, Error* error);
    // Overwrites `size` bytes at `offset` and goes back to the end.
    bool writeAt(int64_t offset, const void* data, size_t size, Error* error);
    bool close(Error* error);
    void discard() { file_.reset(); }

private:
    bool writeFailed(Error* error) const;

    struct Closer {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, Closer> file_;
    QString domain_, kind_;
    int openFailureCode_, writeFailureCode_;
};
